// Background work on the simulated controller, sent through the driver's own sub-command
// wrappers as the engine sends it, and judged by content: a pattern written through an
// array's layout must read back with the same sum and intact redundancy afterwards.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "sim/sim_background.h"
#include "sim/sim_codec.h"
#include "sim/sim_volume_ops.h"
#include "tests/integration/integ_fixture.h"
#include "tests/support/conf_area_builder.h"

namespace {

constexpr uint64_t kDisk = 8192, kUser = kDisk - 32;
constexpr uint16_t kDev[4] = {0, 4, 8, 12};  // sda..sdd: channel 0 and 1, master and slave
const char* const kName[4] = {"sda", "sdb", "sdc", "sdd"};

class SimBackground : public SimDriverTest {
 protected:
  void SetUp() override {
    SimDriverTest::SetUp();
    for (int i = 0; i < 4; ++i) AddDisk(i / 2, i % 2, -1, kDisk);
    ASSERT_EQ(m_drv->Drv_Init(), 0);
  }

  // An array of `n` VDs of `len` sectors at sector 0 of sda, sdb, ...; member `target` is
  // marked as a synchronisation target (it holds no data yet) when given; `flags105` 2
  // marks the array as being migrated.
  void MakeArray(uint8_t type, int n, uint64_t len, uint8_t stripe, int target = -1,
                 uint8_t flags105 = 0) {
    std::vector<uint32_t> ids;
    for (int i = 0; i < n; ++i) ids.push_back(100 + i);
    for (int i = 0; i < n; ++i) {
      kel_test::ConfVd vd{.raidType = type, .vdCount = uint8_t(n), .position = uint8_t(i),
                          .length = len, .stripeSectors = stripe, .memberIds = ids,
                          .extraState = uint16_t(i == target ? 0x10 : 0),
                          .flags105 = flags105, .vdId = ids[i]};
      if (type == 9 && i >= n / 2) {
        vd.position = uint8_t(i - n / 2);
        vd.secondHalf = true;
      }
      std::vector<uint8_t> area = kel_test::ConfAreaBuilder().Pd(1).Vd(0, vd).Bytes();
      std::string err;
      ASSERT_TRUE(KelSimAreaImport(Folder(), kName[i], area, &err)) << err;
    }
  }

  std::string Sum(uint64_t count = 0) {
    std::string hex, err;
    KelSimRange r{false, 0, count != 0, count};
    EXPECT_TRUE(KelSimVolumeSum(Folder(), "sda", 0, r, &hex, &err)) << err;
    return hex;
  }
  bool Consistent() {
    uint64_t bad = 0;
    std::string err;
    return KelSimVolumeCheck(Folder(), "sda", 0, &bad, &err) && bad == UINT64_MAX;
  }
  void Scribble(int disk, uint64_t seed) {
    std::string err;
    ASSERT_TRUE(KelSimDiskWrite(Folder(), kName[disk], seed, {}, &err)) << err;
  }

  int Sync(int target, uint64_t start, uint64_t count) {
    _SYNC_RAID_IOBUFFER io{};
    io.byPairNum = 1;
    io.pairs[0].SetDeviceNo(kDev[target]);
    io.SetStartLBA(start);
    io.SetSectorCount(count);
    return m_op->SyncMirrorRBOP(0, &io);
  }
  int Migrate(uint64_t start, uint64_t count) {
    _MIGRATE_RAID_IOBUFFER io{};
    io.SetStartLBA(start);
    io.SetSectorCount(count);
    return m_op->MigrateArrayRBOP(0, &io);
  }
  // Answers sub-command `code` in a child process that dies before the state is saved, as a
  // kill -9 between the image writes and the save leaves the folder.
  void AnswerAndDie(uint8_t code, bool (*answer)(SimCall&), std::vector<unsigned char> p) {
    const pid_t pid = fork();
    if (pid == 0) {
      std::string err;
      Folder().Transact(
          [&](KelSimState& s, bool* dirty, std::string*) {
            SimCall c{Folder(), s, dirty, s.FindDisk("sda"), nullptr, code, p.data(), p.size()};
            _exit(answer(c) ? 0 : 1);
            return false;
          },
          &err);
      _exit(2);
    }
    int status = -1;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_EQ(status, 0);
  }
  void MigrateAndDie(uint64_t start, uint64_t count) {
    std::vector<unsigned char> p(20);
    SimPutU64(p.data(), 4, start);
    SimPutU64(p.data(), 12, count);
    AnswerAndDie(0x15, KelSimAnswerMigrate, p);
  }
  void WriteBackAndDie(const _LASTUSERDATA_POS_INFO& park, uint64_t position) {
    std::vector<unsigned char> p(26);
    SimPutU16(p.data(), 0, kDev[0]);
    std::memcpy(p.data() + 2, &park, sizeof park);
    SimPutU64(p.data(), 18, position);
    AnswerAndDie(0x52, KelSimAnswerRecoverParked, p);
  }
  KelSimVdRecord Record(int disk) {
    KelSimState s;
    std::string err;
    EXPECT_TRUE(KelSimSnapshot(Folder(), &s, &err)) << err;
    auto& recs = s.FindDisk(kName[disk])->records;
    return recs.count(0) ? recs[0] : KelSimVdRecord{};
  }
};

}  // namespace

TEST_F(SimBackground, SynchronisationRebuildsAMemberFromItsRedundancy) {
  const struct { uint8_t type; int n; int target; } cases[] = {
      {1, 2, 1}, {5, 4, 2}, {9, 4, 3}};
  for (const auto& c : cases) {
    MakeArray(c.type, c.n, 4096, 32);
    std::string err;
    ASSERT_TRUE(KelSimVolumeWrite(Folder(), "sda", 0, 7, {}, &err)) << err;
    const std::string before = Sum();
    MakeArray(c.type, c.n, 4096, 32, c.target);  // the member is now a target...
    Scribble(c.target, 99);                      // ...holding nothing of the array's data
    EXPECT_EQ(Sum(), before) << int(c.type);     // reads go round it
    for (uint64_t at = 0; at < 4096; at += 128) ASSERT_TRUE(Sync(c.target, at, 128)) << at;
    EXPECT_TRUE(Record(c.target).dirty && Record(c.target).syncing);
    ASSERT_TRUE(Sync(c.target, ~0ull, 0));
    ASSERT_TRUE(m_op->ClearDeviceDirtyFlagRBOP(0, 0, kDev[c.target], 0, 0));
    EXPECT_FALSE(Record(c.target).dirty || Record(c.target).syncing);
    MakeArray(c.type, c.n, 4096, 32);  // in step again: the copy is read and compared
    EXPECT_TRUE(Consistent()) << int(c.type);
    EXPECT_EQ(Sum(), before) << int(c.type);
  }
}

TEST_F(SimBackground, FaultsHitTheDiskWrittenAndAMissingSourceFailsTheChunk) {
  MakeArray(5, 3, 4096, 32, 2);
  std::string err, before;
  ASSERT_TRUE(KelSimDiskSum(Folder(), "sdc", {}, &before, &err));
  // Counted faults are absorbed by the driver's own retries; one that stays is not.
  ASSERT_TRUE(KelSimSetFault(Folder(), "sdc", 0x09, -1, &err));
  EXPECT_FALSE(Sync(2, 0, 128));
  std::string after;
  ASSERT_TRUE(KelSimDiskSum(Folder(), "sdc", {}, &after, &err));
  EXPECT_EQ(after, before);  // a failed chunk writes nothing
  // A counted fault reaches the caller once per 16 failures: two rounds of two attempts on
  // each of the four disks' nodes.
  ASSERT_TRUE(KelSimSetFault(Folder(), "sdc", 0x09, 31, &err));
  EXPECT_FALSE(Sync(2, 0, 128));
  EXPECT_TRUE(Sync(2, 0, 128));
  ASSERT_TRUE(KelSimUnplug(Folder(), "sdb", &err));
  EXPECT_FALSE(Sync(2, 128, 128));
}

TEST_F(SimBackground, SavedPositionsAndCancelAreKeptPerVd) {
  MakeArray(1, 2, 4096, 0, 1);
  _SYNC_SAVESTARTADDR_IOBUFFER save{};
  save.SetDeviceNo(kDev[1]);
  save.SetPosition(1280);
  ASSERT_TRUE(Sync(1, 1152, 128));
  ASSERT_TRUE(m_op->SyncSaveAddrRBOP(0, &save));
  ASSERT_TRUE(Sync(1, 1280, 0));  // cancel
  EXPECT_EQ(Record(1).syncSaved, 1280u);
  EXPECT_FALSE(Record(1).syncing);
}

// A plain disk's data becomes a RAID 0 or RAID 5 array's logical content. The last 32
// sectors are parked on the second member (whose last row, for RAID 5, is a parity row)
// and written back at the end; a range sent again, after a process died before saving how
// far it came or after a restart, must not be moved twice; meanwhile the volume reads the
// unmoved rows where they still are.
TEST_F(SimBackground, MigrationKeepsThePlainDisksContent) {
  for (uint8_t type : {0, 5}) {
    const int n = type == 0 ? 2 : 3;
    const uint64_t len = 8128;
    std::string err, plain;
    Scribble(0, 11 + type);
    ASSERT_TRUE(KelSimDiskSum(Folder(), "sda", {}, &plain, &err));
    MakeArray(type, n, len, 32, -1, 2);
    _LASTUSERDATA_POS_INFO from{}, to{};
    from.SetDeviceNo(kDev[0]);
    from.SetSectorCount(32);
    from.SetStartLBA(kUser - 32);
    to = from;
    to.SetDeviceNo(kDev[1]);
    to.SetStartLBA(len - 32);
    ASSERT_TRUE(m_op->MoveLastUserData(0, kDev[0], &from, &to));
    for (uint64_t at = 0; at < len; at += 128) {
      if (at == 256) MigrateAndDie(at, 2048);  // rows far past the replay below
      ASSERT_TRUE(Migrate(at, 128)) << at;
      if (at == 2304) {
        EXPECT_EQ(Sum(kUser), plain) << int(type);
        EXPECT_FALSE(m_op->RecoverLastUserDataRBOP(0, kDev[0], &to, kUser - 32));  // too early
      }
      if (at == 4096) {
        ASSERT_TRUE(Migrate(0, 1024));  // a restart replaying old rows
      }
    }
    WriteBackAndDie(to, kUser - 32);  // may overwrite the park before the state forgets it
    ASSERT_TRUE(m_op->RecoverLastUserDataRBOP(0, kDev[0], &to, kUser - 32));
    ASSERT_TRUE(Migrate(~0ull, 0));
    MakeArray(type, n, len, 32);  // the migration flag cleared
    EXPECT_EQ(Sum(kUser), plain) << int(type);
    EXPECT_TRUE(Consistent()) << int(type);
  }
}

TEST_F(SimBackground, ReplacementCopiesTheRangeAndRecordsHowFarItCame) {
  Scribble(0, 5);
  for (uint64_t at = 0; at < 4096; at += 128)
    ASSERT_TRUE(m_op->ReplaceVDRBOP(0, 0, kDev[0], 0, 0, kDev[2], 0, at, 128));
  ASSERT_TRUE(m_op->ReplaceVDRBOP(0, 0, kDev[0], 0, 0, kDev[2], 0, ~0ull, 0));
  std::string a, b, err;
  KelSimRange r{true, 0, true, 4096};
  ASSERT_TRUE(KelSimDiskSum(Folder(), "sda", r, &a, &err));
  ASSERT_TRUE(KelSimDiskSum(Folder(), "sdc", r, &b, &err));
  EXPECT_EQ(a, b);
  EXPECT_EQ(Record(0).rplSaved, 4096u);
  EXPECT_FALSE(m_op->ReplaceVDRBOP(0, 0, kDev[0], 0, 0, kDev[0], 0, 0, 128));
}

TEST_F(SimBackground, ArrayMadeAgainOnTheSameVdMigratesAfresh) {
  for (uint64_t seed : {21, 22}) {
    std::string plain, err;
    Scribble(0, seed);
    ASSERT_TRUE(KelSimDiskSum(Folder(), "sda", {}, &plain, &err));
    MakeArray(0, 2, 4096, 32, -1, 2);
    for (uint64_t at = 0; at < 4096; at += 1024) ASSERT_TRUE(Migrate(at, 1024)) << at;
    MakeArray(0, 2, 4096, 32);  // the flag cleared, no finishing call: the record goes
    EXPECT_EQ(Sum(kUser), plain) << seed;
  }
}
