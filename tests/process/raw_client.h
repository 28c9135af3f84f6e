// A bare protocol client for process tests that are about the wire: it sends and receives
// packets exactly as given, without the client library's retries.
#ifndef KEL_TESTS_PROCESS_RAW_CLIENT_H
#define KEL_TESTS_PROCESS_RAW_CLIENT_H

#include <string>
#include <vector>

namespace kel_test {

struct Reply {
  int result = -1;  // WaitCommand's result: 0 packet, 1 time-out, 2 closed, -1 error
  unsigned char code = 0;
  std::vector<unsigned char> data;
  int RetCode() const;  // data[1..4], big-endian
};

class RawClient {
 public:
  explicit RawClient(int port);  // connects; see ok()
  ~RawClient();
  bool ok() const { return m_fd >= 0; }
  int fd() const { return m_fd; }

  Reply Receive(int timeoutMs = 5000);
  bool SendRaw(const std::vector<unsigned char>& bytes);
  bool Send(unsigned char code, const std::vector<unsigned char>& payload);
  Reply Exchange(unsigned char code, const std::vector<unsigned char>& payload, int timeoutMs = 5000);

  // Reads the welcome, then logs in; the login reply.
  Reply Login(const std::string& user, const std::string& password);
  // Continues session `id` on this connection (after the welcome).
  Reply SessionLogin(const std::string& id);
  // Code 255 with sub-code `sub` and `rest` after it.
  Reply Local(unsigned char sub, const std::vector<unsigned char>& rest = {}, int timeoutMs = 5000);
  Reply Logout(const std::string& id);
  // The client ID text of a login reply (data[5..]).
  static std::string IdOf(const Reply& login);

 private:
  int m_fd = -1;
};

}  // namespace kel_test

#endif
