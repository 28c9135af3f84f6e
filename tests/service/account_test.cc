// Account store: built-in accounts, verification, password change and its refusals, the
// 100-byte record layout decoded byte by byte, damaged files, writes that fail without
// losing accounts; and the host password check against a hash made here.
#include "service/account/kel_account.h"

#include <crypt.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "service/account/sys_account.h"
#include "sharedlib/aes.h"

namespace {

constexpr std::size_t kRecord = 100;

// One file record built from its description: the plaintext block enciphered, then the
// rights word most significant byte first.
std::string Record(const std::string& plainText, uint32_t rights) {
  unsigned char rec[kRecord] = {};
  std::memcpy(rec, plainText.data(), plainText.size() < 96 ? plainText.size() : 96);
  EXPECT_EQ(AesEncrypt(rec, rec, 96), 0);
  rec[96] = static_cast<unsigned char>(rights >> 24);
  rec[97] = static_cast<unsigned char>(rights >> 16);
  rec[98] = static_cast<unsigned char>(rights >> 8);
  rec[99] = static_cast<unsigned char>(rights);
  return std::string(reinterpret_cast<const char*>(rec), kRecord);
}

std::string Record(const std::string& name, const std::string& password, uint32_t rights) {
  return Record(name + std::string(1, '\0') + password, rights);
}

// The deciphered 96-byte block of a record.
std::string Plain(const std::string& record) {
  unsigned char buf[96];
  EXPECT_EQ(AesDecrypt(reinterpret_cast<const unsigned char*>(record.data()), buf, 96), 0);
  return std::string(reinterpret_cast<const char*>(buf), 96);
}

std::string Padded(const std::string& text) { return text + std::string(96 - text.size(), '\0'); }

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) ++n;
  return n;
}

class Account : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(AesModuleInit(), 0);
    char tmpl[] = "/tmp/kel_acc_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    path_ = dir_ + "/kel_account";
  }
  void TearDown() override {
    if (DIR* d = opendir(dir_.c_str())) {
      while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n != "." && n != "..") unlink((dir_ + "/" + n).c_str());
      }
      closedir(d);
    }
    rmdir(dir_.c_str());
  }

  std::string Slurp() const {
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  void Put(const std::string& bytes) const {
    std::ofstream(path_, std::ios::binary | std::ios::trunc) << bytes;
  }

  int Verify(KelAccount& acc, const std::string& name, const std::string& pw,
             uint32_t* rights = nullptr) {
    _KelAccountInfo info{name, pw, 0xdeadbeef};
    int rc = acc.VerifyItem(&info);
    if (rights != nullptr) *rights = info.rights;
    return rc;
  }

  int Change(KelAccount& acc, _KelAccountInfo requester, const std::string& user,
             const std::string& current, std::string newPw) {
    _KelAccountInfo target{user, current, 0};
    return acc.ChangePasswd(&requester, &target, newPw);
  }

  const _KelAccountInfo admin_{"admin", "pelum", 14};
  const _KelAccountInfo guest_{"guest", "rovak", 7};
  std::string dir_;
  std::string path_;
};

TEST_F(Account, WithoutAFileTheBuiltInAccountsVerify) {
  KelAccount acc(path_.c_str());
  uint32_t rights = 0;
  testing::internal::CaptureStdout();
  EXPECT_EQ(Verify(acc, "admin", "pelum", &rights), 0);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(rights, 14u);
  EXPECT_NE(out.find("Open account file " + path_ + " failed\n"), std::string::npos) << out;
  EXPECT_EQ(Verify(acc, "guest", "rovak", &rights), 0);
  EXPECT_EQ(rights, 7u);
  EXPECT_EQ(access(path_.c_str(), F_OK), -1);  // verification never creates the file
}

TEST_F(Account, UnknownNameIsNoSuchUser) {
  KelAccount acc(path_.c_str());
  testing::internal::CaptureStdout();
  EXPECT_EQ(Verify(acc, "root", "pelum"), KEL_ACC_ERR_NO_USER);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("User root does not exist\n"), std::string::npos) << out;
  EXPECT_EQ(Verify(acc, "", "pelum"), 1034);
}

TEST_F(Account, WrongPasswordIsAMismatchAndLeavesRightsAlone) {
  KelAccount acc(path_.c_str());
  uint32_t rights = 0;
  EXPECT_EQ(Verify(acc, "admin", "pelum ", &rights), KEL_ACC_ERR_PASSWD);
  EXPECT_EQ(rights, 0xdeadbeefu);
  EXPECT_EQ(Verify(acc, "admin", "PELUM"), 1033);
}

TEST_F(Account, NamesDifferingInCaseDoNotMatch) {
  KelAccount acc(path_.c_str());
  EXPECT_EQ(Verify(acc, "Admin", "pelum"), 1034);
  EXPECT_EQ(Verify(acc, "GUEST", "rovak"), 1034);
  std::vector<_KelAccountInfo> list = {{"adminx", "a", 1}, {"admin", "b", 2}};
  std::string name = "admin";
  EXPECT_EQ(acc.GetUserIndex(name, list), 1);
  name = "admi";
  EXPECT_EQ(acc.GetUserIndex(name, list), -1);
}

TEST_F(Account, NullInfoIsAnInvalidParameter) {
  KelAccount acc(path_.c_str());
  testing::internal::CaptureStdout();
  EXPECT_EQ(acc.VerifyItem(nullptr), KEL_ACC_ERR_PARAM);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Invalid parameter\n"), std::string::npos);
}

TEST_F(Account, AdminChangingGuestPasswordWritesTwoRecordsAdminFirst) {
  KelAccount acc(path_.c_str());
  ASSERT_EQ(Change(acc, admin_, "guest", "rovak", "n3w"), 0);

  std::string file = Slurp();
  ASSERT_EQ(file.size(), 2 * kRecord);
  std::string first = file.substr(0, kRecord);
  std::string second = file.substr(kRecord, kRecord);
  EXPECT_EQ(Plain(first), Padded(std::string("admin\0pelum\0", 12)));
  EXPECT_EQ(first.substr(96), std::string("\0\0\0\x0e", 4));
  EXPECT_EQ(Plain(second), Padded(std::string("guest\0n3w\0", 10)));
  EXPECT_EQ(second.substr(96), std::string("\0\0\0\x07", 4));

  EXPECT_EQ(Verify(acc, "guest", "n3w"), 0);
  EXPECT_EQ(Verify(acc, "guest", "rovak"), 1033);
  EXPECT_EQ(Verify(acc, "admin", "pelum"), 0);
}

TEST_F(Account, NewAccountFileIsPrivate) {
  KelAccount acc(path_.c_str());
  ASSERT_EQ(Change(acc, admin_, "guest", "rovak", "n3w"), 0);
  struct stat st;
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(Account, RightsWordIsReadMostSignificantByteFirst) {
  Put(Record("carol", "pw", 0x01020308));
  KelAccount acc(path_.c_str());
  uint32_t rights = 0;
  EXPECT_EQ(Verify(acc, "carol", "pw", &rights), 0);
  EXPECT_EQ(rights, 0x01020308u);
}

TEST_F(Account, FileWithOnlyGuestKeepsBuiltInAdminAndReplacesBuiltInGuest) {
  Put(Record("guest", "secret", 0x1));
  KelAccount acc(path_.c_str());
  uint32_t rights = 0;
  EXPECT_EQ(Verify(acc, "admin", "pelum", &rights), 0);
  EXPECT_EQ(rights, 14u);
  EXPECT_EQ(Verify(acc, "guest", "rovak"), 1033);
  EXPECT_EQ(Verify(acc, "guest", "secret", &rights), 0);
  EXPECT_EQ(rights, 1u);

  std::vector<_KelAccountInfo> list;
  ASSERT_TRUE(acc.ReadAccountFile(list));
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].name, "guest");
  EXPECT_EQ(list[1].name, "admin");
}

TEST_F(Account, BuiltInAccountsFollowTheFileRecordsAdminBeforeGuest) {
  Put(Record("carol", "pw", 2));
  KelAccount acc(path_.c_str());
  std::vector<_KelAccountInfo> list = {{"stale", "x", 0}};
  ASSERT_TRUE(acc.ReadAccountFile(list));
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].name, "carol");
  EXPECT_EQ(list[0].password, "pw");
  EXPECT_EQ(list[0].rights, 2u);
  EXPECT_EQ(list[1].name, "admin");
  EXPECT_EQ(list[1].password, "pelum");
  EXPECT_EQ(list[1].rights, 14u);
  EXPECT_EQ(list[2].name, "guest");
  EXPECT_EQ(list[2].password, "rovak");
  EXPECT_EQ(list[2].rights, 7u);
}

TEST_F(Account, RecordsWithoutNameOrPasswordAreSkippedWithTheirMessage) {
  Put(Record(std::string("\0orphan", 7), 8) + Record("bob", "", 8) + Record("carol", "pw", 2));
  KelAccount acc(path_.c_str());
  std::vector<_KelAccountInfo> list;
  testing::internal::CaptureStdout();
  ASSERT_TRUE(acc.ReadAccountFile(list));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(Count(out, "Invalid user name\n"), 1) << out;
  EXPECT_EQ(Count(out, "User passwd can not be NULL\n"), 1) << out;
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].name, "carol");
  EXPECT_EQ(Verify(acc, "bob", ""), 1034);
}

TEST_F(Account, NameFillingTheWholeBlockStaysInsideTheRecord) {
  // No zero byte at all in the 96 bytes: the name ends with the block, the password is
  // empty, and nothing reads on into the rights word.
  Put(Record(std::string(96, 'z'), 0x41414141));
  KelAccount acc(path_.c_str());
  std::vector<_KelAccountInfo> list;
  testing::internal::CaptureStdout();
  ASSERT_TRUE(acc.ReadAccountFile(list));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(Count(out, "User passwd can not be NULL\n"), 1) << out;
  EXPECT_EQ(list.size(), 2u);
}

TEST_F(Account, ShortTailIsIgnored) {
  Put(Record("guest", "secret", 7) + std::string(50, 'x'));
  KelAccount acc(path_.c_str());
  std::vector<_KelAccountInfo> list;
  testing::internal::CaptureStdout();
  ASSERT_TRUE(acc.ReadAccountFile(list));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].password, "secret");
}

TEST_F(Account, NinetyFourCharactersFitAndNinetyFiveKeepThePreviousFile) {
  KelAccount acc(path_.c_str());
  std::vector<_KelAccountInfo> fits = {{std::string(40, 'n'), std::string(54, 'p'), 3}};
  ASSERT_TRUE(acc.WriteAccountFile(fits));
  std::string before = Slurp();
  ASSERT_EQ(before.size(), kRecord);
  EXPECT_EQ(Plain(before), std::string(40, 'n') + '\0' + std::string(54, 'p') + '\0');
  std::vector<_KelAccountInfo> back;
  ASSERT_TRUE(acc.ReadAccountFile(back));
  EXPECT_EQ(back[0].name, fits[0].name);
  EXPECT_EQ(back[0].password, fits[0].password);

  // The account that does not fit comes after one that does: nothing may reach the file.
  std::vector<_KelAccountInfo> tooLong = {admin_, {std::string(40, 'n'), std::string(55, 'p'), 3}};
  testing::internal::CaptureStdout();
  EXPECT_FALSE(acc.WriteAccountFile(tooLong));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("The account info is too long\n"), std::string::npos) << out;
  EXPECT_EQ(Slurp(), before);
}

TEST_F(Account, TooLongNewPasswordFailsTheChangeAndKeepsEveryAccount) {
  Put(Record("carol", "pw", 2));
  KelAccount acc(path_.c_str());
  ASSERT_EQ(Change(acc, admin_, "guest", "rovak", std::string(89, 'g')), 0);  // 5 + 89 = 94
  std::string before = Slurp();
  ASSERT_EQ(before.size(), 3 * kRecord);

  testing::internal::CaptureStdout();
  EXPECT_EQ(Change(acc, admin_, "admin", "pelum", std::string(91, 'a')), KEL_ACC_ERR_WRITE);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("The account info is too long\n"), std::string::npos) << out;
  EXPECT_EQ(Slurp(), before);
  EXPECT_EQ(Verify(acc, "carol", "pw"), 0);
  EXPECT_EQ(Verify(acc, "guest", std::string(89, 'g')), 0);
}

TEST_F(Account, GuestMayNotChangePasswordsNotEvenItsOwn) {
  KelAccount acc(path_.c_str());
  testing::internal::CaptureStdout();
  EXPECT_EQ(Change(acc, guest_, "guest", "rovak", "x"), KEL_ACC_ERR_NOT_ADMIN);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Only admin could change passwd for users\n"), std::string::npos) << out;
  EXPECT_EQ(access(path_.c_str(), F_OK), -1);
}

TEST_F(Account, RequesterRightsDecideNotItsName) {
  KelAccount acc(path_.c_str());
  EXPECT_EQ(Change(acc, {"admin", "pelum", 7}, "guest", "rovak", "x"), 1037);
  EXPECT_EQ(Change(acc, {"operator", "", KEL_ACC_ADMIN}, "guest", "rovak", "x"), 0);
}

TEST_F(Account, WrongCurrentPasswordOfTheTargetIsAMismatch) {
  KelAccount acc(path_.c_str());
  EXPECT_EQ(Change(acc, admin_, "guest", "pelum", "x"), KEL_ACC_ERR_PASSWD);
  EXPECT_EQ(access(path_.c_str(), F_OK), -1);
}

TEST_F(Account, EmptyNewPasswordIsRefusedBeforeTheFileIsRead) {
  KelAccount acc(path_.c_str());
  testing::internal::CaptureStdout();
  EXPECT_EQ(Change(acc, admin_, "guest", "rovak", ""), KEL_ACC_ERR_PARAM);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("New password can not be null\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("Open account file"), std::string::npos) << out;  // file never opened
}

TEST_F(Account, NullRequesterOrTargetIsAnInvalidParameter) {
  KelAccount acc(path_.c_str());
  _KelAccountInfo info = admin_;
  std::string pw = "x";
  EXPECT_EQ(acc.ChangePasswd(nullptr, &info, pw), 1030);
  EXPECT_EQ(acc.ChangePasswd(&info, nullptr, pw), 1030);
}

TEST_F(Account, UnknownTargetIsNoSuchUser) {
  KelAccount acc(path_.c_str());
  testing::internal::CaptureStdout();
  EXPECT_EQ(Change(acc, admin_, "nobody", "x", "y"), KEL_ACC_ERR_NO_USER);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("User nobody does not exist\n"),
            std::string::npos);
}

TEST_F(Account, AdminMayChangeItsOwnPassword) {
  KelAccount acc(path_.c_str());
  ASSERT_EQ(Change(acc, admin_, "admin", "pelum", "fresh"), 0);
  EXPECT_EQ(Verify(acc, "admin", "fresh"), 0);
  EXPECT_EQ(Verify(acc, "admin", "pelum"), 1033);
  EXPECT_EQ(Verify(acc, "guest", "rovak"), 0);
}

TEST_F(Account, UnwritableFileFailsTheChangeWithTheMessage) {
  path_ = dir_ + "/missing/kel_account";
  KelAccount acc(path_.c_str());
  testing::internal::CaptureStdout();
  EXPECT_EQ(Change(acc, admin_, "guest", "rovak", "x"), KEL_ACC_ERR_WRITE);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Open account file " + path_ + " failed\n"), std::string::npos) << out;
}

TEST_F(Account, ReservedOperationsDoNothing) {
  KelAccount acc(path_.c_str());
  _KelAccountInfo a = admin_, b = {"new", "pw", 1};
  EXPECT_EQ(acc.AddItem(&a, &b), 0);
  EXPECT_EQ(acc.RemoveItem(&a, &b), 0);
  EXPECT_EQ(access(path_.c_str(), F_OK), -1);
}

// Two store objects stand for two processes sharing the file: their locks do not meet, so
// only a whole-file replacement keeps the reader from seeing a half-written file.
TEST_F(Account, ReaderOfAnotherStoreNeverSeesAPartialFile) {
  Put(Record("carol", "pw", 2));
  KelAccount writer(path_.c_str());
  KelAccount reader(path_.c_str());
  std::atomic<bool> done{false};
  std::atomic<int> bad{0};
  std::atomic<int> checks{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; ++t) {
    readers.emplace_back([&] {
      while (!done.load()) {
        _KelAccountInfo info{"carol", "pw", 0};
        if (reader.VerifyItem(&info) != 0) ++bad;
        ++checks;
      }
    });
  }
  testing::internal::CaptureStdout();
  std::string current = "rovak";
  for (int i = 0; i < 60; ++i) {
    std::string next = "pw" + std::to_string(i);
    ASSERT_EQ(Change(writer, admin_, "guest", current, next), 0);
    current = next;
  }
  done = true;
  for (auto& th : readers) th.join();
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(bad.load(), 0);
  EXPECT_GT(checks.load(), 0);
}

TEST(SysAccount, HashMadeWithTheSameSaltMatchesOnlyTheRightPassword) {
  const char* made = crypt("s3cret", "$6$kelsalt01$");
  ASSERT_NE(made, nullptr);
  std::string hash = made;
  ASSERT_EQ(hash.rfind("$6$kelsalt01$", 0), 0u);
  EXPECT_TRUE(VerifyCryptHash("s3cret", hash.c_str()));
  EXPECT_FALSE(VerifyCryptHash("S3cret", hash.c_str()));
  EXPECT_FALSE(VerifyCryptHash("s3cret ", hash.c_str()));
  EXPECT_FALSE(VerifyCryptHash("", hash.c_str()));
}

TEST(SysAccount, LockedEmptyOrMissingHashesNeverMatch) {
  std::string hash = crypt("s3cret", "$6$kelsalt01$");
  EXPECT_FALSE(VerifyCryptHash("s3cret", ("!" + hash).c_str()));
  EXPECT_FALSE(VerifyCryptHash("s3cret", "*"));
  EXPECT_FALSE(VerifyCryptHash("s3cret", "!"));
  EXPECT_FALSE(VerifyCryptHash("", ""));
  EXPECT_FALSE(VerifyCryptHash("s3cret", nullptr));
  EXPECT_FALSE(VerifyCryptHash(nullptr, hash.c_str()));
}

TEST(SysAccount, UnknownUserAndNullArgumentsAreRefused) {
  EXPECT_FALSE(TarvoVerifySysAccount("kel_no_such_user_7f3a", "anything"));
  EXPECT_FALSE(TarvoVerifySysAccount(nullptr, "anything"));
  EXPECT_FALSE(TarvoVerifySysAccount("kel_no_such_user_7f3a", nullptr));
}

}  // namespace
