// The service's user accounts: one binary file of AES-enciphered records, re-read on every
// verification and every change (no account list is kept in memory), plus the two built-in
// accounts that stand in while the file lacks them.
//
// Account file: a sequence of 100-byte records, nothing else (length = 100 x records).
//   offset  size  contents
//        0    96  AesEncrypt of: name, 0, password, 0, zero bytes up to 96
//       96     4  rights word, unsigned 32-bit, most significant byte first, in the clear
// Name and password together hold at most 94 characters.
//
// Requires AesModuleInit() to have run. Thread-safe: a KelRWLock lets readers share the
// file and gives a writer it alone. Two concurrent password changes may both read the old
// file; the later write wins.
#ifndef KEL_SERVICE_ACCOUNT_KEL_ACCOUNT_H
#define KEL_SERVICE_ACCOUNT_KEL_ACCOUNT_H

#include <cstdint>
#include <string>
#include <vector>

#include "sharedlib/kel_mutex.h"

// Rights word bits. 0x2 and 0x4 carry no name; they select the session rights code at login.
constexpr uint32_t KEL_ACC_MULTI_LOGIN = 0x1;  // may hold several sessions at once
constexpr uint32_t KEL_ACC_ADMIN = 0x8;        // may change passwords

// Results of VerifyItem and ChangePasswd.
enum KelAccountResult : int {
  KEL_ACC_OK = 0,
  KEL_ACC_ERR_PARAM = 1030,       // a null argument, or an empty new password
  KEL_ACC_ERR_READ = 1031,        // read lock not taken, or file not readable
  KEL_ACC_ERR_WRITE = 1032,       // write lock not taken, or file not written
  KEL_ACC_ERR_PASSWD = 1033,      // the password does not match
  KEL_ACC_ERR_NO_USER = 1034,     // no such user
  KEL_ACC_ERR_NOT_ADMIN = 1037,   // the requester lacks KEL_ACC_ADMIN
};

struct _KelAccountInfo {
  std::string name;      // user name, non-empty
  std::string password;  // clear text, in memory only; non-empty
  uint32_t rights = 0;   // KEL_ACC_* bits
};

class KelAccount {
 public:
  static constexpr int KEL_ACC_RECORD_LEN = 100;
  static constexpr int KEL_ACC_CIPHER_LEN = 96;

  // Stores the path (null: no file, only the built-in accounts) and fills the built-in
  // records. Touches no file.
  explicit KelAccount(const char* path);
  virtual ~KelAccount() = default;
  KelAccount(const KelAccount&) = delete;
  KelAccount& operator=(const KelAccount&) = delete;

  // Checks info->name and info->password; on success sets info->rights and returns 0.
  // Otherwise one of KelAccountResult.
  virtual int VerifyItem(_KelAccountInfo* info);

  // Sets the password of target->name to `newPassword` when `requester` holds
  // KEL_ACC_ADMIN and target->password is that user's current password. Returns 0 or one
  // of KelAccountResult. On a failed write the file keeps its previous contents.
  virtual int ChangePasswd(_KelAccountInfo* requester, _KelAccountInfo* target,
                           std::string& newPassword);

  // Reserved: do nothing and return 0.
  virtual int AddItem(_KelAccountInfo* requester, _KelAccountInfo* item);
  virtual int RemoveItem(_KelAccountInfo* requester, _KelAccountInfo* item);

  // Replaces `list` with the file's accounts, then the built-in "admin" and "guest" when
  // the file has no record of that name. A missing file is not an error. Caller holds the
  // file lock (read or write).
  virtual bool ReadAccountFile(std::vector<_KelAccountInfo>& list) REQUIRES_SHARED(m_fileLock);

  // Replaces the whole file with `list`, records in list order. False, with the old file
  // untouched, when an account does not fit a record or the file cannot be written.
  // Caller holds the write lock.
  virtual bool WriteAccountFile(std::vector<_KelAccountInfo>& list) REQUIRES(m_fileLock);

  // Index of the first account whose name equals `name` exactly (case-sensitive), or -1.
  virtual int GetUserIndex(std::string& name, std::vector<_KelAccountInfo>& list);

 private:
  // Reads the file under the read lock into `list` and finds `name` there: KEL_ACC_OK with
  // *idx set, KEL_ACC_ERR_READ or KEL_ACC_ERR_NO_USER.
  int ReadAndFind(std::string& name, std::vector<_KelAccountInfo>& list, int* idx)
      EXCLUDES(m_fileLock);

  std::string m_strAccountFile;  // set once in the constructor
  KelRWLock m_fileLock;          // guards the account file
  _KelAccountInfo m_adminAccount;  // built-in "admin"; constant after construction
  _KelAccountInfo m_guestAccount;  // built-in "guest"; constant after construction
};

#endif
