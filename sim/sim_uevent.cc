#include "sim/sim_uevent.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace {

bool MakeDir(const std::string& path) {
  struct stat st;
  return mkdir(path.c_str(), 0755) == 0 || (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
}

}  // namespace

bool KelSimCreatePciFunction(const std::string& dir, std::string* err) {
  const std::string driver = KelSimPciDriverDir(dir);
  if (!MakeDir(dir + "/host") || !MakeDir(driver) || !MakeDir(driver + "/" + kSimPciFunction)) {
    *err = "cannot create " + driver + "/" + kSimPciFunction + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

std::string KelSimUEventMessage(const std::string& action, const std::string& disk, int channel,
                                unsigned long seqnum) {
  const std::string target = "0:0:" + std::to_string(channel < 0 ? 0 : channel) + ":0";
  const std::string devpath = std::string("/devices/pci0000:00/") + kSimPciFunction +
                              "/host0/target" + target.substr(0, target.size() - 2) + "/" +
                              target + "/block/" + disk;
  std::string m;
  auto field = [&m](const std::string& text) {
    m += text;
    m += '\0';
  };
  field(action + "@" + devpath);
  field("ACTION=" + action);
  field("DEVPATH=" + devpath);
  field("SUBSYSTEM=block");
  field("DEVNAME=" + disk);
  field("DEVTYPE=disk");
  field("SEQNUM=" + std::to_string(seqnum));
  return m;
}

bool KelSimSendUEvent(const std::string& dir, const std::string& message, std::string* err) {
  const std::string path = KelSimUEventPath(dir);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) {
    *err = "event socket path too long: " + path;
    return false;
  }
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) return true;  // nobody listens
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  int sock = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (sock < 0) {
    *err = std::string("cannot open a datagram socket: ") + std::strerror(errno);
    return false;
  }
  // A listener that has stopped reading must not hold up the operator's command.
  ssize_t n = sendto(sock, message.data(), message.size(), MSG_DONTWAIT,
                     reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
  int saved = errno;
  close(sock);
  // A socket file left behind by a service that has ended refuses the connection.
  if (n < 0 && (saved == ECONNREFUSED || saved == ENOENT)) return true;
  if (n != static_cast<ssize_t>(message.size())) {
    *err = "cannot send the device event to " + path + ": " + std::strerror(saved);
    return false;
  }
  return true;
}
