// Account verification and password change over the enciphered account file. Every call
// reads the file afresh, so an edited or restored file takes effect without a restart.
#include "service/account/kel_account.h"

#include <cstdio>
#include <cstring>

#include "sharedlib/aes.h"
#include "sharedlib/atomic_file.h"
#include "sharedlib/diag.h"

namespace {

constexpr std::size_t kRecordLen = KelAccount::KEL_ACC_RECORD_LEN;
constexpr std::size_t kCipherLen = KelAccount::KEL_ACC_CIPHER_LEN;

// The file holds passwords, even if enciphered with a fixed key: keep a new one private.
constexpr mode_t kNewFileMode = 0600;

uint32_t LoadBigEndian32(const unsigned char* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

void StoreBigEndian32(uint32_t v, unsigned char* p) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}

}  // namespace

KelAccount::KelAccount(const char* path)
    : m_strAccountFile(path != nullptr ? path : ""),
      m_adminAccount{"admin", "pelum", KEL_ACC_ADMIN | 0x4 | 0x2},
      m_guestAccount{"guest", "rovak", 0x4 | 0x2 | KEL_ACC_MULTI_LOGIN} {}

int KelAccount::ReadAndFind(std::string& name, std::vector<_KelAccountInfo>& list, int* idx) {
  if (!m_fileLock.RLock()) {
    KEL_PRINT(ZEP_DBG_WARN, "Get AccountFile R lock failed\n");
    return KEL_ACC_ERR_READ;
  }
  bool read = ReadAccountFile(list);
  m_fileLock.RUnlock();
  if (!read) return KEL_ACC_ERR_READ;
  *idx = GetUserIndex(name, list);
  if (*idx < 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "User %s does not exist\n", name.c_str());
    return KEL_ACC_ERR_NO_USER;
  }
  return KEL_ACC_OK;
}

int KelAccount::VerifyItem(_KelAccountInfo* info) {
  if (info == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "Invalid parameter\n");
    return KEL_ACC_ERR_PARAM;
  }
  std::vector<_KelAccountInfo> list;
  int idx = -1;
  int found = ReadAndFind(info->name, list, &idx);
  if (found != KEL_ACC_OK) return found;
  const _KelAccountInfo& stored = list[static_cast<std::size_t>(idx)];
  if (stored.password != info->password) return KEL_ACC_ERR_PASSWD;
  info->rights = stored.rights;
  return KEL_ACC_OK;
}

int KelAccount::ChangePasswd(_KelAccountInfo* requester, _KelAccountInfo* target,
                             std::string& newPassword) {
  if (requester == nullptr || target == nullptr) return KEL_ACC_ERR_PARAM;
  if ((requester->rights & KEL_ACC_ADMIN) == 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "Only admin could change passwd for users\n");
    return KEL_ACC_ERR_NOT_ADMIN;
  }
  if (newPassword.empty()) {
    KEL_PRINT(ZEP_DBG_ERROR, "New password can not be null\n");
    return KEL_ACC_ERR_PARAM;
  }

  std::vector<_KelAccountInfo> list;
  int idx = -1;
  int found = ReadAndFind(target->name, list, &idx);
  if (found != KEL_ACC_OK) return found;
  _KelAccountInfo& stored = list[static_cast<std::size_t>(idx)];
  if (stored.password != target->password) return KEL_ACC_ERR_PASSWD;
  stored.password = newPassword;

  // The read lock is gone by now: a change that ran meanwhile is overwritten (last wins).
  if (!m_fileLock.WLock()) {
    KEL_PRINT(ZEP_DBG_ERROR, "Get AccountFile W lock failed\n");
    return KEL_ACC_ERR_WRITE;
  }
  bool written = WriteAccountFile(list);
  m_fileLock.WUnlock();
  return written ? KEL_ACC_OK : KEL_ACC_ERR_WRITE;
}

int KelAccount::AddItem(_KelAccountInfo*, _KelAccountInfo*) { return 0; }

int KelAccount::RemoveItem(_KelAccountInfo*, _KelAccountInfo*) { return 0; }

bool KelAccount::ReadAccountFile(std::vector<_KelAccountInfo>& list) {
  list.clear();
  bool adminSeen = false;
  bool guestSeen = false;

  FILE* fp = std::fopen(m_strAccountFile.c_str(), "rb");
  if (fp == nullptr) {
    KEL_PRINT(ZEP_DBG_WARN, "Open account file %s failed\n", m_strAccountFile.c_str());
  } else {
    unsigned char record[kRecordLen];
    unsigned char plain[kCipherLen];
    // A short tail (an interrupted write of an older version) is ignored.
    while (std::fread(record, 1, kRecordLen, fp) == kRecordLen) {
      if (AesDecrypt(record, plain, kCipherLen) != 0) {
        KEL_PRINT(ZEP_DBG_ERROR, "Decrypt failed\n");
        std::fclose(fp);
        return false;
      }
      // Both texts are bounded by the block: a record without its zero bytes cannot make
      // the reader run into the rights word.
      const char* text = reinterpret_cast<const char*>(plain);
      std::size_t nameLen = strnlen(text, kCipherLen);
      if (nameLen == 0) {
        KEL_PRINT(ZEP_DBG_WARN, "Invalid user name\n");
        continue;
      }
      _KelAccountInfo account;
      account.name.assign(text, nameLen);
      if (account.name == m_adminAccount.name) adminSeen = true;
      if (account.name == m_guestAccount.name) guestSeen = true;
      std::size_t pwOffset = nameLen + 1;
      std::size_t pwLen = pwOffset < kCipherLen ? strnlen(text + pwOffset, kCipherLen - pwOffset) : 0;
      if (pwLen == 0) {
        KEL_PRINT(ZEP_DBG_WARN, "User passwd can not be NULL\n");
        continue;
      }
      account.password.assign(text + pwOffset, pwLen);
      account.rights = LoadBigEndian32(record + kCipherLen);
      list.push_back(std::move(account));
    }
    std::fclose(fp);
  }

  if (!adminSeen) list.push_back(m_adminAccount);
  if (!guestSeen) list.push_back(m_guestAccount);
  return true;
}

bool KelAccount::WriteAccountFile(std::vector<_KelAccountInfo>& list) {
  // The whole file is built first and installed in one step: an account that does not fit
  // or a failing disk leaves the previous file, and with it every account, in place.
  std::string image;
  image.reserve(list.size() * kRecordLen);
  for (const _KelAccountInfo& account : list) {
    unsigned char record[kRecordLen] = {};
    if (account.name.size() + account.password.size() + 2 > kCipherLen) {
      KEL_PRINT(ZEP_DBG_ERROR, "The account info is too long\n");
      return false;
    }
    std::memcpy(record, account.name.data(), account.name.size());
    std::memcpy(record + account.name.size() + 1, account.password.data(),
                account.password.size());
    if (AesEncrypt(record, record, kCipherLen) != 0) {
      KEL_PRINT(ZEP_DBG_ERROR, "Encrypt failed\n");
      return false;
    }
    StoreBigEndian32(account.rights, record + kCipherLen);
    image.append(reinterpret_cast<const char*>(record), kRecordLen);
  }
  if (!KelReplaceFile(m_strAccountFile.c_str(), image.data(), image.size(), kNewFileMode)) {
    KEL_PRINT(ZEP_DBG_ERROR, "Open account file %s failed\n", m_strAccountFile.c_str());
    return false;
  }
  return true;
}

int KelAccount::GetUserIndex(std::string& name, std::vector<_KelAccountInfo>& list) {
  for (std::size_t i = 0; i < list.size(); ++i)
    if (list[i].name == name) return static_cast<int>(i);
  return -1;
}
