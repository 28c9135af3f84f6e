#include "tests/process/raw_client.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "sharedlib/aes.h"
#include "sharedlib/packet.h"
#include "tests/process/service_harness.h"

namespace kel_test {

int Reply::RetCode() const { return data.size() >= 5 ? BufToINT32S(1, data.data()) : -9999; }

RawClient::RawClient(int port) : m_fd(ConnectLoopback(port)) {}

RawClient::~RawClient() {
  if (m_fd >= 0) close(m_fd);
}

Reply RawClient::Receive(int timeoutMs) {
  Reply r;
  unsigned char buf[kMaxPayload + 1];
  unsigned short len = 0;
  r.result = WaitCommand(m_fd, &r.code, buf, &len, static_cast<unsigned>(timeoutMs / 1000),
                         static_cast<unsigned>((timeoutMs % 1000) * 1000), 1);
  if (r.result == 0) r.data.assign(buf, buf + len);
  return r;
}

bool RawClient::SendRaw(const std::vector<unsigned char>& bytes) {
  // A service that ends the connection must fail the write, not kill the test with SIGPIPE.
  return send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

bool RawClient::Send(unsigned char code, const std::vector<unsigned char>& payload) {
  std::vector<unsigned char> out(payload.size() + kPacketOverhead);
  AssemblePacket(code, payload.data(), static_cast<unsigned short>(payload.size()), out.data());
  return SendRaw(out);
}

Reply RawClient::Exchange(unsigned char code, const std::vector<unsigned char>& payload,
                          int timeoutMs) {
  if (!Send(code, payload)) return Reply{};
  return Receive(timeoutMs);
}

Reply RawClient::Login(const std::string& user, const std::string& password) {
  Reply welcome = Receive();
  if (welcome.result != 0 || welcome.code != 253) return welcome;
  AesModuleInit();
  std::vector<unsigned char> plain(user.begin(), user.end());
  plain.push_back(0);
  plain.insert(plain.end(), password.begin(), password.end());
  plain.push_back(0);
  plain.resize((plain.size() + 15) / 16 * 16, 0);
  std::vector<unsigned char> cipher(plain.size());
  AesEncrypt(plain.data(), cipher.data(), static_cast<unsigned>(plain.size()));
  return Exchange(250, cipher);
}

Reply RawClient::SessionLogin(const std::string& id) {
  Reply welcome = Receive();
  if (welcome.result != 0 || welcome.code != 253) return welcome;
  std::vector<unsigned char> text(id.begin(), id.end());
  text.push_back(0);
  return Exchange(251, text);
}

Reply RawClient::Local(unsigned char sub, const std::vector<unsigned char>& rest, int timeoutMs) {
  std::vector<unsigned char> payload{sub};
  payload.insert(payload.end(), rest.begin(), rest.end());
  return Exchange(255, payload, timeoutMs);
}

Reply RawClient::Logout(const std::string& id) {
  std::vector<unsigned char> text(id.begin(), id.end());
  text.push_back(0);
  return Local(0, text);
}

std::string RawClient::IdOf(const Reply& login) {
  if (login.data.size() < 6) return "";
  return std::string(reinterpret_cast<const char*>(login.data.data() + 5));
}

}  // namespace kel_test
