// Request building and reply decoding of the service-local commands. Requests and replies
// share one buffer per call: data[0] is the sub-code, the reply's return code is data[1..4]
// and its results start at data[5].
#include "webext/client/client_local_cmds.h"

#include <cstring>

#include "sharedlib/diag.h"
#include "webext/client/client_codes.h"
#include "webext/client/client_exchange.h"

namespace {

constexpr int kResults = 5;  // first byte after the return code

// The fixed body of the self-test reply.
struct KelTestData {
  unsigned char bytes[112];
};

// One exchange of a local command whose request is data[0..*len-1]; prints the failure.
int RunLocalCmd(CLIENT_INFO* ci, unsigned char* data, unsigned short* len) {
  unsigned char code = KEL_CMD_LOCAL;
  int ret = KelExecuteCmd(ci->nCmdSock, &code, data, len, kClientReplyTimeoutSec, 1);
  if (ret != 0) KEL_PRINT(ZEP_DBG_ERROR, "Execute cmd[%d] failed\n", KEL_CMD_LOCAL);
  return ret;
}

int InvalidParameters() {
  KEL_PRINT(ZEP_DBG_ERROR, "Invalid parameters\n");
  return KEL_CLIENT_INVALID_PARAM;
}

// A request of the sub-code alone, whose reply carries nothing the caller needs.
int SimpleLocalCmd(CLIENT_INFO* ci, unsigned char sub) {
  if (ci == nullptr) return InvalidParameters();
  unsigned char data[kClientBufSize] = {sub};
  unsigned short len = 1;
  return RunLocalCmd(ci, data, &len);
}

}  // namespace

int UserGetLogStatus(CLIENT_INFO* ci, unsigned int* overLimit, unsigned long long* size,
                     unsigned int* lines) {
  if (ci == nullptr || overLimit == nullptr) return InvalidParameters();
  unsigned char data[kClientBufSize] = {KEL_LOCAL_LOG_STATUS};
  unsigned short len = 1;
  int ret = RunLocalCmd(ci, data, &len);
  if (ret != 0) return ret;
  *overLimit = BufToINT32U(kResults, data);
  if (size != nullptr)
    *size = (static_cast<unsigned long long>(BufToINT32U(kResults + 4, data)) << 32) |
            BufToINT32U(kResults + 8, data);
  if (lines != nullptr) *lines = BufToINT32U(kResults + 12, data);
  return KEL_CLIENT_OK;
}

int UserClearLog(CLIENT_INFO* ci) { return SimpleLocalCmd(ci, KEL_LOCAL_CLEAR_LOG); }

int UserGetLogItems(CLIENT_INFO* ci, unsigned char direction, unsigned int first,
                    unsigned int* count, void* text, unsigned int* textLen) {
  if (ci == nullptr || count == nullptr || text == nullptr) return InvalidParameters();
  if (textLen == nullptr) {
    *count = 0;
    KEL_PRINT(ZEP_DBG_ERROR, "No room for the log text\n");
    return KEL_CLIENT_TOO_LONG;
  }
  unsigned char data[kClientBufSize] = {KEL_LOCAL_LOG_ITEMS, direction};
  INT32UToBuf(first, 2, data);
  INT32UToBuf(*count, 6, data);
  unsigned short len = 10;
  int ret = RunLocalCmd(ci, data, &len);
  if (ret != 0) return ret;
  const unsigned int lines = BufToINT32U(kResults, data);
  const unsigned int bytes = BufToINT32U(kResults + 4, data);
  // The text must be in this reply and must fit the caller's buffer.
  if (bytes > kClientBufSize || 13u + bytes > len) {
    KEL_PRINT(ZEP_DBG_ERROR, "Log text of %u bytes does not fit\n", bytes);
    return KEL_CLIENT_TOO_LONG;
  }
  *count = lines;
  *textLen = bytes;
  memcpy(text, data + 13, bytes);
  if (bytes < kClientBufSize) static_cast<unsigned char*>(text)[bytes] = '\0';
  return KEL_CLIENT_OK;
}

int GetBeepStatus(CLIENT_INFO* ci, unsigned char* on) {
  if (ci == nullptr || on == nullptr) return InvalidParameters();
  unsigned char data[kClientBufSize] = {KEL_LOCAL_GET_BEEP};
  unsigned short len = 1;
  int ret = RunLocalCmd(ci, data, &len);
  if (ret != 0) return ret;
  *on = data[kResults];
  return KEL_CLIENT_OK;
}

int SetBeepStatus(CLIENT_INFO* ci, unsigned char on) {
  if (ci == nullptr) return InvalidParameters();
  unsigned char data[kClientBufSize] = {KEL_LOCAL_SET_BEEP, on};
  unsigned short len = 2;
  return RunLocalCmd(ci, data, &len);
}

int UserChangePasswd(CLIENT_INFO* ci, const char* user, const char* oldPassword,
                     const char* newPassword) {
  if (ci == nullptr || user == nullptr || oldPassword == nullptr || newPassword == nullptr)
    return InvalidParameters();
  const char* texts[] = {user, oldPassword, newPassword};
  size_t total = 1;
  for (const char* t : texts) total += strlen(t) + 1;
  if (total + kPacketOverhead > kClientBufSize) {
    KEL_PRINT(ZEP_DBG_ERROR, "The username+passwd is too long\n");
    return KEL_CLIENT_TOO_LONG;
  }
  unsigned char data[kClientBufSize] = {KEL_LOCAL_CHANGE_PASSWD};
  size_t at = 1;
  for (const char* t : texts) {
    size_t n = strlen(t) + 1;
    memcpy(data + at, t, n);
    at += n;
  }
  unsigned short len = static_cast<unsigned short>(at);
  int ret = RunLocalCmd(ci, data, &len);
  memset(data, 0, sizeof(data));  // passwords do not linger on the stack
  return ret;
}

int GetCheckDiskDuration(CLIENT_INFO* ci, unsigned int* minutes) {
  if (ci == nullptr || minutes == nullptr) return InvalidParameters();
  unsigned char data[kClientBufSize] = {KEL_LOCAL_GET_CHECKDISK};
  unsigned short len = 1;
  int ret = RunLocalCmd(ci, data, &len);
  if (ret != 0) return ret;
  *minutes = BufToINT32U(kResults, data);
  return KEL_CLIENT_OK;
}

int SetCheckDiskDuration(CLIENT_INFO* ci, unsigned int minutes) {
  if (ci == nullptr) return InvalidParameters();
  unsigned char data[kClientBufSize] = {KEL_LOCAL_SET_CHECKDISK};
  INT32UToBuf(minutes, 1, data);
  unsigned short len = 5;
  return RunLocalCmd(ci, data, &len);
}

int GetTestData(CLIENT_INFO* ci) {
  if (ci == nullptr) return InvalidParameters();
  unsigned char data[kClientBufSize] = {KEL_LOCAL_TEST};
  unsigned short len = 1;
  int ret = RunLocalCmd(ci, data, &len);
  if (ret != 0) return ret;
  const KelTestData* pData = reinterpret_cast<const KelTestData*>(data + 7);
  unsigned short uSize = static_cast<unsigned short>(data[kResults] << 8 | data[kResults + 1]);
  KEL_ASSERT(uSize == sizeof(*pData));
  return KEL_CLIENT_OK;
}
