// SG_IO transport: the only code that opens device nodes.
#include "driver/sgio_transport.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "driver/sgio_request.h"
#include "sharedlib/diag.h"

std::vector<std::string> KelSgIoTransport::ListNodes() {
  std::vector<std::string> names;
  DIR* dir = opendir(m_strDevDir.c_str());
  if (dir == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "Open %s failed: %s\n", m_strDevDir.c_str(), strerror(errno));
    return names;
  }
  while (dirent* e = readdir(dir)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    struct stat st;
    std::string path = m_strDevDir + "/" + name;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) continue;
    names.push_back(name);
  }
  closedir(dir);
  return names;
}

void KelSgIoTransport::WakeNodes() {
  for (char c = 'a'; c <= 'h'; ++c) {
    std::string path = m_strDevDir + "/sd" + c;
    int fd = open(path.c_str(), O_RDWR);
    if (fd >= 0) close(fd);
  }
}

KelDrvSendResult KelSgIoTransport::Send(const std::string& name, const unsigned char cdb[10],
                                        unsigned char* buf, size_t len) {
  std::string path = m_strDevDir + "/" + name;
  int fd = open(path.c_str(), O_RDWR);
  if (fd < 0) return KelDrvSendResult::kNoNode;
  uint8_t cdbCopy[10];
  memcpy(cdbCopy, cdb, sizeof(cdbCopy));
  sg_io_hdr_t hdr;
  sg_iovec_t iov;
  KelBuildSgIoRequest(&hdr, &iov, cdbCopy, buf, len);
  int ret = ioctl(fd, SG_IO, &hdr);
  close(fd);
  return KelSgIoSucceeded(ret, hdr) ? KelDrvSendResult::kOk : KelDrvSendResult::kFailed;
}
