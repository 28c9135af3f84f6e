// Array changes end to end: kelctl against the real kelsrv on a simulated controller with
// four 1 GiB disks, the data checked through kelsim's view of each array as a logical
// volume. Creation of every level with a written pattern that survives and checks out, the
// mirror's data kept by its removal, a power loss at every point of a creation's write, and
// bad requests that must not change any disk.
#include <gtest/gtest.h>

#include <cstdio>
#include <future>
#include <string>
#include <vector>

#include "tests/client/kelctl_e2e_fixture.h"
#include "tests/process/raw_client.h"

using namespace kel_test;

namespace {

const char* const kDisks[] = {"sda", "sdb", "sdc", "sdd"};

class KelctlArrayE2e : public KelctlE2e {
 protected:
  void MakeSim() override {
    ASSERT_TRUE(Kelsim({"init", "--channels", "2"}));
    for (const char* spec : {"0 master", "0 slave", "1 master", "1 slave"}) {
      std::string s(spec);
      ASSERT_TRUE(Kelsim({"add-disk", "--channel", s.substr(0, 1), "--position", s.substr(2),
                          "--size", "1G"}));
    }
  }

  std::string Area(const char* disk) {
    const std::string file = dir.File(std::string("area-") + disk);
    EXPECT_TRUE(Kelsim({"area-export", disk, file}));
    return ReadFile(file);
  }

  std::vector<std::string> Areas() {
    std::vector<std::string> all;
    for (const char* d : kDisks) all.push_back(Area(d));
    return all;
  }

  std::string VolumeSum(const std::string& member) {
    std::string out;
    EXPECT_TRUE(Kelsim({"volume", member, "sum"}, &out)) << out;
    return out;
  }

  // Creates an array; its index, or -1 after a test failure.
  int Create(const std::vector<std::string>& args) {
    std::vector<std::string> all{"--json", "create"};
    all.insert(all.end(), args.begin(), args.end());
    KelctlRun run = Kelctl(all);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    return run.status == 0 ? static_cast<int>(JsonNumber(run.out, "index")) : -1;
  }

};

// Each level: created through kelctl, shown healthy, a pattern written through the
// controller's view of the array reads back and checks out after a rescan, and removal
// leaves plain disks. The mirror goes last: its removal keeps one copy as a single-disk
// span, whose content must be exactly the mirror's.
TEST_F(KelctlArrayE2e, EachLevelIsCreatedHoldsItsDataAndIsRemoved) {
  const struct {
    std::string level, disks;
    int raidType;
  } levels[] = {{"raid5", "0,1,2,3", 5}, {"raid0", "0,1", 0}, {"raid01", "0,1,2,3", 9},
                {"span", "2,3", 8},       {"raid1", "0,1", 1}};
  for (const auto& [level, disks, raidType] : levels) {
    SCOPED_TRACE(level);
    const int index = Create({level, "--name", "v" + level, "--disks", disks, "--size", "48"});
    ASSERT_GE(index, 0);
    KelctlRun info = Kelctl({"--json", "array", std::to_string(index)});
    EXPECT_EQ(JsonNumber(info.out, "raidType"), raidType) << info.out;
    EXPECT_EQ(JsonNumber(info.out, "status"), 0) << info.out;

    const std::string member = std::string(kDisks[disks[0] - '0']) + ":0";
    // The engine's capacity is what the controller's own reading of the areas offers.
    std::string volume;
    ASSERT_TRUE(Kelsim({"volume", member, "info", "--json"}, &volume));
    EXPECT_GT(JsonNumber(volume, "capacity"), 0) << volume;
    EXPECT_EQ(JsonNumber(volume, "capacity"), JsonNumber(info.out, "capacity")) << volume << info.out;
    ASSERT_TRUE(Kelsim({"volume", member, "write", "--seed", "7"}));
    const std::string sum = VolumeSum(member);
    ASSERT_EQ(Kelctl({"rescan"}).status, 0);
    EXPECT_EQ(VolumeSum(member), sum);
    std::string check;
    EXPECT_TRUE(Kelsim({"volume", member, "check"}, &check)) << check;

    KelctlRun removed = Kelctl({"remove", "v" + level, "--yes"});
    ASSERT_EQ(removed.status, 0) << removed.out << removed.err;
    if (raidType == 1) {  // the span has no name; it is the only array left
      EXPECT_EQ(VolumeSum(member), sum) << "the mirror's data is kept as a span";
      KelctlRun span = Kelctl({"--json", "arrays"});
      EXPECT_NE(span.out.find("\"raidType\":8,"), std::string::npos) << span.out;
      const std::string index = std::to_string(JsonNumber(span.out, "index"));
      ASSERT_EQ(Kelctl({"remove", index, "--yes"}).status, 0);
    }
  }
  KelctlRun arrays = Kelctl({"--json", "arrays"});
  EXPECT_EQ(arrays.out.find("\"raidType\":1,"), std::string::npos) << arrays.out;
}

// A power loss after K of the four configuration areas of a RAID 5 creation were written,
// for every K: the controller goes dark and the service dies with it; once the power is
// back the service starts again and reads every disk. Then the array is not shown healthy
// unless all four areas were written, the disks not written carry what they carried, the
// written ones offer no free space over the new VDs, and the operator can remove what is
// left and create the array again.
TEST_F(KelctlArrayE2e, PowerLossAtEveryPointOfACreationIsRecoverable) {
  for (int k = 0; k <= 4; ++k) {
    SCOPED_TRACE("power lost after " + std::to_string(k) + " areas");
    const std::vector<std::string> plain = Areas();
    ASSERT_TRUE(Kelsim({"power-loss", "--after", std::to_string(k)}));
    auto create = std::async(std::launch::async, [&] {
      return Kelctl({"create", "raid5", "--name", "lost", "--disks", "0,1,2,3", "--size", "96"});
    });
    if (k < 4) {
      ASSERT_TRUE(WaitFor([&] { return ReadFile(sim + "/state").find("power_down=1") != std::string::npos; }));
      srv.reset();  // the service goes down with the power
      ASSERT_TRUE(Kelsim({"power-loss", "--clear"}));
      std::remove(dir.File("kel_init.log").c_str());
      srv = std::make_unique<ServiceProcess>(dir.path(), std::vector<std::string>{dir.File("kel.config")});
      ASSERT_TRUE(WaitFor([&] { return ReadFile(dir.File("kel_init.log")) == "success\n"; },
                          std::chrono::seconds(60)));
    }
    EXPECT_EQ(create.get().status == 0, k == 4);
    ASSERT_TRUE(Kelsim({"power-loss", "--clear"}));

    const std::vector<std::string> after = Areas();
    int written = 0;
    for (size_t d = 0; d < after.size(); ++d) written += after[d] != plain[d] ? 1 : 0;
    EXPECT_EQ(written, k);
    KelctlRun arrays = Kelctl({"--json", "arrays"});
    const bool healthy = arrays.out.find("\"arrayName\":\"lost\",\"status\":0,") != std::string::npos;
    EXPECT_EQ(healthy, k == 4) << arrays.out;

    for (size_t d = 0; d < after.size(); ++d) {
      if (after[d] == plain[d]) continue;
      KelctlRun size = Kelctl({"--json", "create-size", "span", "--disks", std::to_string(d)});
      const long long max = JsonNumber(size.out, "max_mib");
      EXPECT_TRUE(max > 0 && max < 1000) << "disk " << d << ": " << size.out;
    }

    if (written > 0) {
      ASSERT_EQ(Kelctl({"remove", "lost", "--yes"}).status, 0);
    }
    ASSERT_GE(Create({"raid5", "--name", "again", "--disks", "0,1,2,3", "--size", "96"}), 0);
    ASSERT_EQ(Kelctl({"remove", "again", "--yes"}).status, 0);
  }
}

// The host sees an array as one disk: a partition table written to the array's first
// logical sector gives the array's node its partitions, which the array query names.
TEST_F(KelctlArrayE2e, AnArraysPartitionsComeFromItsOwnFirstSector) {
  const int index = Create({"raid0", "--name", "parts", "--disks", "0,1", "--size", "16"});
  ASSERT_GE(index, 0);
  std::string mbr(512, '\0');
  for (int p = 0; p < 2; ++p) mbr[446 + 16 * p + 4] = static_cast<char>(0x83);
  mbr[510] = 0x55;
  mbr[511] = static_cast<char>(0xAA);
  WriteFile(dir.File("mbr"), mbr);
  ASSERT_TRUE(Kelsim({"volume", "sda:0", "import", "--file", dir.File("mbr")}));
  ASSERT_EQ(Kelctl({"rescan"}).status, 0);
  KelctlRun parts = Kelctl({"--json", "partitions", "--array", std::to_string(index)});
  EXPECT_NE(parts.out.find(R"("count":2,"partitions":["sde1","sde2"])"), std::string::npos)
      << parts.out << parts.err;
}

// Requests a client library would never send: each is refused with a return code and no
// disk's configuration area changes.
TEST_F(KelctlArrayE2e, BadRequestsChangeNoDisk) {
  ASSERT_GE(Create({"raid1", "--name", "keep", "--disks", "0,1", "--size", "16"}), 0);
  const std::vector<std::string> before = Areas();

  RawClient c(port);
  ASSERT_TRUE(c.ok());
  ASSERT_EQ(c.Login("admin", "pelum").RetCode(), 0);
  auto create = [](unsigned char kind, unsigned char count) {
    std::vector<unsigned char> r(112, 0);
    r[0] = kind;
    r[1] = count;
    r[8] = 64;
    r[16] = 16;  // MiB
    r[24] = 'x';
    for (int i = 0; i < 8; ++i) r[48 + 8 * i] = static_cast<unsigned char>(i % 4);
    return r;
  };
  std::vector<unsigned char> shortCreate = create(2, 2);
  shortCreate.resize(100);
  std::vector<unsigned char> unterminated = create(1, 1);
  std::fill(unterminated.begin() + 24, unterminated.begin() + 48, 'n');
  std::vector<unsigned char> removeMany(392, 0);
  removeMany[1] = 33;
  std::vector<unsigned char> repairMany(48, 0);
  repairMany[0] = 3;
  repairMany[1] = 5;
  std::vector<unsigned char> staleSpare(24, 0);
  staleSpare[8] = 0;  // array 0, magic 0: stale
  staleSpare[16] = 2;
  const struct {
    const char* what;
    unsigned char code;
    std::vector<unsigned char> payload;
  } requests[] = {
      {"short create", 2, shortCreate},       {"nine disks", 2, create(2, 9)},
      {"unknown kind", 2, create(7, 2)},      {"name without end", 2, unterminated},
      {"33 arrays", 3, removeMany},           {"five repair disks", 4, repairMany},
      {"stale spare", 5, staleSpare},         {"short remove", 3, std::vector<unsigned char>(8, 0)},
  };
  for (const auto& r : requests) {
    Reply reply = c.Exchange(r.code, r.payload, 20000);
    ASSERT_EQ(reply.result, 0) << r.what;
    EXPECT_NE(reply.RetCode(), 0) << r.what;
  }
  EXPECT_EQ(Areas(), before);
}

}  // namespace
