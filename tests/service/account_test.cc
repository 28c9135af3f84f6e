// Account store: verification against the built-in accounts, the 100-byte record layout
// (cipher block, rights word most significant byte first), damaged files, password change
// and its refusals, writes that fail without losing accounts, a private new file; and the
// host password check against a hash made here.
#include "service/account/kel_account.h"

#include <crypt.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "service/account/sys_account.h"
#include "sharedlib/aes.h"
#include "tests/service/service_test_util.h"
#include "tests/support/temp_dir.h"

namespace {

using kel_test::Captured;
using kel_test::Count;

constexpr std::size_t kRecord = 100;

// One file record: the plaintext block enciphered, then the rights word.
std::string Record(const std::string& plainText, uint32_t rights) {
  unsigned char rec[kRecord] = {};
  std::memcpy(rec, plainText.data(), std::min<size_t>(plainText.size(), 96));
  EXPECT_EQ(AesEncrypt(rec, rec, 96), 0);
  for (int i = 0; i < 4; ++i) rec[96 + i] = static_cast<unsigned char>(rights >> (24 - 8 * i));
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

class Account : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(AesModuleInit(), 0); }

  std::string Slurp() const { return kel_test::ReadAll(path_); }
  void Put(const std::string& bytes) const { std::ofstream(path_, std::ios::binary) << bytes; }
  int Verify(KelAccount& acc, const std::string& name, const std::string& pw, uint32_t* rights = nullptr) {
    _KelAccountInfo info{name, pw, 0xdeadbeef};
    int rc = acc.VerifyItem(&info);
    if (rights != nullptr) *rights = info.rights;
    return rc;
  }
  int Change(KelAccount& acc, _KelAccountInfo requester, const std::string& user, const std::string& current,
             std::string newPw) {
    _KelAccountInfo target{user, current, 0};
    return acc.ChangePasswd(&requester, &target, newPw);
  }
  bool FileExists() const { return access(path_.c_str(), F_OK) == 0; }

  const _KelAccountInfo admin_{"admin", "pelum", 14};
  const _KelAccountInfo guest_{"guest", "rovak", 7};
  kel_test::TempDir dir_;
  std::string path_ = dir_.File("kel_account");
};

TEST_F(Account, WithoutAFileOnlyTheBuiltInAccountsVerifyExactly) {
  KelAccount acc(path_.c_str());
  const struct { std::string name, pw; int rc; uint32_t rights; } cases[] = {
      {"admin", "pelum", 0, 14},         {"guest", "rovak", 0, 7},
      {"admin", "pelum ", 1033, 0xdeadbeef}, {"admin", "PELUM", 1033, 0xdeadbeef},
      {"Admin", "pelum", 1034, 0xdeadbeef},  {"GUEST", "rovak", 1034, 0xdeadbeef},
      {"admi", "pelum", 1034, 0xdeadbeef},   {"", "pelum", 1034, 0xdeadbeef},
      {"root", "pelum", 1034, 0xdeadbeef}};
  for (const auto& k : cases) {
    uint32_t rights = 0;
    std::string out = Captured([&] { EXPECT_EQ(Verify(acc, k.name, k.pw, &rights), k.rc) << k.pw; });
    EXPECT_EQ(rights, k.rights) << k.name;
    EXPECT_NE(out.find("Open account file " + path_ + " failed\n"), std::string::npos) << out;
    EXPECT_EQ(Count(out, "User " + k.name + " does not exist\n"), k.rc == 1034 ? 1 : 0) << out;
  }
  EXPECT_FALSE(FileExists());  // verification never creates the file
}

TEST_F(Account, FilesAreReadRecordByRecordWithTheBuiltInsBehindThem) {
  // list: name:password:rights in order; noName, noPassword: records skipped for want of each.
  const struct { std::string file; std::vector<std::string> list; int noName, noPassword; } cases[] = {
      {Record("carol", "pw", 0x01020308),
       {"carol:pw:16909064", "admin:pelum:14", "guest:rovak:7"}, 0, 0},
      {Record("guest", "secret", 1), {"guest:secret:1", "admin:pelum:14"}, 0, 0},
      {Record(std::string("\0orphan", 7), 8) + Record("bob", "", 8) + Record("carol", "pw", 2),
       {"carol:pw:2", "admin:pelum:14", "guest:rovak:7"}, 1, 1},
      // No zero byte in the block: the name ends with it and nothing reads into the rights.
      {Record(std::string(96, 'z'), 0x41414141), {"admin:pelum:14", "guest:rovak:7"}, 0, 1},
      {Record("guest", "secret", 7) + std::string(50, 'x'), {"guest:secret:7", "admin:pelum:14"}, 0, 0},
  };
  for (const auto& k : cases) {
    Put(k.file);
    KelAccount acc(path_.c_str());
    std::vector<_KelAccountInfo> list = {{"stale", "x", 0}};
    std::string out = Captured([&] { EXPECT_TRUE(acc.ReadAccountFile(list)); });
    std::vector<std::string> got;
    for (const auto& a : list) got.push_back(a.name + ":" + a.password + ":" + std::to_string(a.rights));
    EXPECT_EQ(got, k.list);
    EXPECT_TRUE(Count(out, "Invalid user name\n") == k.noName && Count(out, "\n") == k.noName + k.noPassword &&
                Count(out, "User passwd can not be NULL\n") == k.noPassword) << out;
  }
}


TEST_F(Account, PasswordChangesAreRefusedAsTheyShouldAndTheFirstOneMakesAPrivateFile) {
  const _KelAccountInfo weakAdmin{"admin", "pelum", 7}, op{"operator", "", KEL_ACC_ADMIN};
  const struct { _KelAccountInfo requester; std::string user, current, next; int rc; std::string says; } cases[] = {
      {guest_, "guest", "rovak", "x", 1037, "Only admin could change passwd for users\n"},
      {weakAdmin, "guest", "rovak", "x", 1037, ""},  // rights decide, not the name
      {admin_, "guest", "pelum", "x", 1033, ""},
      {admin_, "guest", "rovak", "", 1030, "New password can not be null\n"},
      {admin_, "nobody", "x", "y", 1034, "User nobody does not exist\n"},
  };
  for (const auto& k : cases) {
    KelAccount acc(path_.c_str());
    std::string out =
        Captured([&] { EXPECT_EQ(Change(acc, k.requester, k.user, k.current, k.next), k.rc) << k.says; });
    EXPECT_NE(out.find(k.says), std::string::npos) << out;
    // Refused before the file is even read.
    EXPECT_EQ(out.find("Open account file") == std::string::npos, k.rc == 1037 || k.rc == 1030);
    EXPECT_FALSE(FileExists());
  }
  KelAccount acc(path_.c_str());
  _KelAccountInfo info = admin_;
  std::string pw = "x";
  EXPECT_TRUE(acc.ChangePasswd(nullptr, &info, pw) == 1030 && acc.ChangePasswd(&info, nullptr, pw) == 1030);
  // Adding and removing are reserved: they do nothing.
  EXPECT_TRUE(acc.AddItem(&info, &info) == 0 && acc.RemoveItem(&info, &info) == 0 && !FileExists());
  EXPECT_EQ(Change(acc, op, "admin", "pelum", "fresh"), 0);
  EXPECT_TRUE(Verify(acc, "admin", "fresh") == 0 && Verify(acc, "guest", "rovak") == 0);
  struct stat st;  // the new file is private
  EXPECT_TRUE(stat(path_.c_str(), &st) == 0 && (st.st_mode & 0777) == 0600u) << std::oct << st.st_mode;
}

// A change writes every account in list order; name and password of 94 characters fit a
// record, 95 do not and keep the previous file.
TEST_F(Account, AChangeWritesEveryAccountInOrderAndNinetyFiveCharactersKeepThePreviousFile) {
  Put(Record("carol", "pw", 2));
  KelAccount acc(path_.c_str());
  ASSERT_EQ(Change(acc, admin_, "guest", "rovak", std::string(89, 'g')), 0);  // 5 + 89 = 94
  std::string before = Slurp();
  ASSERT_EQ(before.size(), 3 * kRecord);
  // Each record: the deciphered block, then the rights word most significant byte first.
  auto rec = [&](int i) { return Plain(before.substr(i * kRecord, kRecord)) + before.substr(i * kRecord + 96, 4); };
  EXPECT_EQ(rec(0), std::string("carol\0pw", 8) + std::string(88, '\0') + std::string("\0\0\0\2", 4));
  EXPECT_EQ(rec(1), std::string("admin\0pelum", 11) + std::string(85, '\0') + std::string("\0\0\0\x0e", 4));
  EXPECT_EQ(rec(2), "guest" + std::string(1, '\0') + std::string(89, 'g') + '\0' + std::string("\0\0\0\7", 4));
  EXPECT_EQ(Verify(acc, "guest", "rovak"), 1033);
  // The account that does not fit comes after ones that do: nothing may reach the file.
  std::string out = Captured([&] {
    EXPECT_EQ(Change(acc, admin_, "guest", std::string(89, 'g'), std::string(90, 'a')), KEL_ACC_ERR_WRITE);
  });
  EXPECT_NE(out.find("The account info is too long\n"), std::string::npos) << out;
  EXPECT_EQ(Slurp(), before);
  EXPECT_EQ(Verify(acc, "carol", "pw"), 0);
}

TEST_F(Account, UnwritableFileFailsTheChangeWithTheMessage) {
  path_ = dir_.File("missing/kel_account");
  KelAccount acc(path_.c_str());
  std::string out = Captured([&] { EXPECT_EQ(Change(acc, admin_, "guest", "rovak", "x"), KEL_ACC_ERR_WRITE); });
  EXPECT_EQ(Count(out, "Open account file " + path_ + " failed\n"), 2) << out;  // read, write
}

// Two store objects stand for two processes sharing the file: their locks do not meet, so
// only a whole-file replacement keeps the reader from seeing a half-written file.
TEST_F(Account, ReaderOfAnotherStoreNeverSeesAPartialFile) {
  Put(Record("carol", "pw", 2));
  KelAccount writer(path_.c_str()), reader(path_.c_str());
  std::atomic<bool> done{false};
  std::atomic<int> bad{0}, checks{0};
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
  EXPECT_TRUE(bad.load() == 0 && checks.load() > 0) << bad.load() << " of " << checks.load();
}

TEST(SysAccount, OnlyTheRightPasswordMatchesAnUnlockedHash) {
  const std::string hash = crypt("s3cret", "$6$kelsalt01$");
  ASSERT_EQ(hash.rfind("$6$kelsalt01$", 0), 0u);
  EXPECT_TRUE(VerifyCryptHash("s3cret", hash.c_str()));
  for (const char* pw : {"S3cret", "s3cret ", ""}) EXPECT_FALSE(VerifyCryptHash(pw, hash.c_str())) << pw;
  for (const std::string& locked : {"!" + hash, std::string("*"), std::string("!"), std::string()})
    EXPECT_FALSE(VerifyCryptHash(locked.empty() ? "" : "s3cret", locked.c_str())) << locked;
  EXPECT_FALSE(VerifyCryptHash("s3cret", nullptr) || VerifyCryptHash(nullptr, hash.c_str()));
  EXPECT_FALSE(TarvoVerifySysAccount("kel_no_such_user_7f3a", "anything") ||
               TarvoVerifySysAccount(nullptr, "anything") || TarvoVerifySysAccount("kel_no_such_user_7f3a", nullptr));
}

}  // namespace
