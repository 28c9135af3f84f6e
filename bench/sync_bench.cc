// How fast a repaired mirror is rebuilt, end to end through the engine, against the file
// system's own copy speed. A RAID 1 of two 256 MiB simulated disks is created and filled, its
// second disk pulled and replaced by a new one, and the facade's synchronisation step called
// until it finishes, as the task worker does. Then the same 256 MiB are copied between two
// plain files in the same folder. Printed: both bandwidths and their ratio, and the service's
// own time per step, measured twice: the whole step minus the time the simulator spent
// answering the copy commands, and again on a run whose copy commands are answered at once.
//
// Usage: sync_bench [MiB]   (disk size, 256 by default)
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "driver/drv_interface.h"
#include "driver/host_glue.h"
#include "engine/engine_defs.h"
#include "service/engine/zr_facade.h"
#include "sim/sim_ops.h"
#include "sim/sim_transport.h"
#include "sim/sim_volume_ops.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

constexpr uint8_t kSyncCode = 0x09;   // sub-command: synchronise a range
constexpr size_t kSubCodeAt = 30;     // where the sub-command sits in the block

// Forwards to the simulator and adds up the time its synchronisation answers take. With
// `stubCopy` those are answered at once without reaching the simulator, so what is left of a
// step is the service's own work and the other commands' round trips.
class CopyTimingTransport : public KelDrvTransport {
 public:
  CopyTimingTransport(const std::string& dir, bool stubCopy) : m_sim(dir), m_stub(stubCopy) {}

  std::vector<std::string> ListNodes() override { return m_sim.ListNodes(); }
  KelDrvSendResult Send(const std::string& name, const unsigned char cdb[10], unsigned char* buf,
                        size_t len) override {
    if (len > kSubCodeAt && m_counting) ++m_sent[buf[kSubCodeAt]];
    if (len <= kSubCodeAt || buf[kSubCodeAt] != kSyncCode) return m_sim.Send(name, cdb, buf, len);
    ++m_copies;
    if (m_stub) return KelDrvSendResult::kOk;
    const auto t0 = Clock::now();
    const KelDrvSendResult r = m_sim.Send(name, cdb, buf, len);
    m_copyTime += Clock::now() - t0;
    return r;
  }
  Clock::duration CopyTime() const { return m_copyTime; }
  long Copies() const { return m_copies; }
  // Sub-commands sent while counting, by code.
  void Count(bool on) { m_counting = on; }
  const std::map<int, long>& Sent() const { return m_sent; }

 private:
  KelSimTransport m_sim;
  bool m_stub;
  Clock::duration m_copyTime{};  // only the bench's one thread sends
  long m_copies = 0;
  bool m_counting = false;
  std::map<int, long> m_sent;
};

struct RebuildFigures {
  bool ok = false;
  long steps = 0;
  long copies = 0;
  double seconds = 0;      // all steps
  double copySeconds = 0;  // inside the simulator's synchronisation answers
  std::map<int, long> sent;  // sub-commands of the steps, by code
  uint64_t bytes = 0;      // the mirror's size
};

bool Fail(const char* what, const std::string& detail = "") {
  std::fprintf(stderr, "sync_bench: %s%s%s\n", what, detail.empty() ? "" : ": ", detail.c_str());
  return false;
}

// The one RAID array of the model (plain disks are listed as arrays too, version 255).
bool FindOnlyArray(_Index_Plus_t* ref) {
  for (int i = 0; i < MAX_ARRAY_SLOTS; ++i) {
    _zr_array_info info{};
    if (zr_get_array_info(i, &info) != ZR_OK || info.version == 255) continue;
    ref->nIndex = i;
    ref->wdMagicNum = info.magicNum;
    return true;
  }
  return false;
}

// The model's disk behind node `node`.
bool FindDisk(const std::string& node, _Index_Plus_t* ref) {
  for (int i = 0; i < MAX_PDS; ++i) {
    char name[32] = {};
    if (zr_Get_PD_INODE_NAME(i, name) != ZR_OK || node != name) continue;
    ref->nIndex = i;
    return zr_get_PD_magicNum(i, &ref->wdMagicNum) == ZR_OK;
  }
  return false;
}

// One simulated controller in `dir` with a filled mirror on sda+sdb, sdb pulled and the
// array repaired onto sdc, then rebuilt step by step through the facade.
bool RunRebuild(const std::string& dir, uint64_t sectors, bool stubCopy, RebuildFigures* out) {
  std::string err;
  if (!KelSimInit(dir, 2, &err)) return Fail("simulator", err);
  KelSimFolder folder(dir);
  KelHostGluePaths().mtab = folder.MtabPath();
  std::string names[3];
  const int places[3][2] = {{0, 0}, {0, 1}, {1, 0}};
  for (int i = 0; i < 3; ++i) {
    KelSimDiskSpec spec{places[i][0], places[i][1], -1, sectors, "", "", ""};
    if (!KelSimAddDisk(folder, spec, &names[i], &err)) return Fail("disk", err);
  }

  auto owned = std::make_unique<CopyTimingTransport>(dir, stubCopy);
  CopyTimingTransport* transport = owned.get();
  KelDrvInterface drv(std::move(owned), folder.DevDir());
  drv.SetSleep([](int) {});
  drv.SetRootLookup([](char*, int) { return 0; });
  KelDrvSetGlobal(&drv);
  struct Release {
    ~Release() {
      zr_exit();
      KelDrvSetGlobal(nullptr);
    }
  } release;

  if (zr_init() != ZR_OK) return Fail("engine start");
  _Index_Plus_t pds[2] = {};
  for (int i = 0; i < 2; ++i)
    if (!FindDisk(names[i], &pds[i])) return Fail("disk lookup", names[i]);
  _Array_Create_Info_t range{};
  if (zr_get_array_create_info_by_pds(2, pds, KEL_RAID_1, KEL_CREATE_EMPTY, &range) != ZR_OK)
    return Fail("size range");
  const uint64_t size = range.nMaxArraySize;  // MiB: the largest the disks allow
  if (int rc = zr_create_mirror_TARVOII(2, pds, static_cast<uint32_t>(size),
                                        static_cast<uint32_t>(size >> 32), "bench", KEL_CREATE_EMPTY);
      rc != ZR_OK)
    return Fail("mirror creation", std::to_string(rc));
  _Index_Plus_t array{};
  if (!FindOnlyArray(&array)) return Fail("the new mirror is not in the model");
  if (!KelSimVolumeWrite(folder, names[0], 0, 12345, KelSimRange{}, &err))
    return Fail("filling the mirror", err);
  std::string before;
  if (!KelSimVolumeSum(folder, names[0], 0, KelSimRange{}, &before, &err)) return Fail("sum", err);
  SimArray volume;
  if (!KelSimVolumeInfo(folder, names[0], 0, &volume, &err)) return Fail("volume", err);
  out->bytes = volume.capacity * 512;

  if (!KelSimUnplug(folder, names[1], &err)) return Fail("unplug", err);
  if (zr_update_hardware_info() != ZR_OK) return Fail("rescan after the pull");
  if (!FindOnlyArray(&array)) return Fail("the degraded mirror is not in the model");
  _Index_Plus_t fresh{};
  if (!FindDisk(names[2], &fresh)) return Fail("the new disk is not in the model");
  if (int rc = zr_repair_mirror_with_new_disk_TARVOII(array, fresh); rc != ZR_OK)
    return Fail("repair", std::to_string(rc));
  if (!FindOnlyArray(&array)) return Fail("the repaired mirror is not in the model");

  uint16_t percent = 0;
  int rc = ZR_OK;
  transport->Count(true);
  const auto t0 = Clock::now();
  while (rc == ZR_OK) {
    rc = zr_sync_mirror_TARVOII(array, nullptr, &percent);
    ++out->steps;
  }
  out->seconds = Seconds(Clock::now() - t0);
  out->copySeconds = Seconds(transport->CopyTime());
  out->copies = transport->Copies();
  transport->Count(false);
  out->sent = transport->Sent();
  if (rc != ZR_SYNC_FINISHED) return Fail("synchronisation ended with", std::to_string(rc));
  if (stubCopy) return out->ok = true;

  // The rebuilt copy must hold the data: redundancy checked, the sum unchanged.
  uint64_t bad = 0;
  std::string after;
  if (!KelSimVolumeCheck(folder, names[0], 0, &bad, &err)) return Fail("check", err);
  if (bad != UINT64_MAX) return Fail("rebuilt copy differs at sector", std::to_string(bad));
  if (!KelSimVolumeSum(folder, names[0], 0, KelSimRange{}, &after, &err) || after != before)
    return Fail("volume sum changed by the rebuild");
  return out->ok = true;
}

}  // namespace

namespace {

// Copies `bytes` from one fresh file to another in the same folder, 1 MiB at a time, the
// source written (so cached) first, as the simulated disks are. Bytes per second.
double RawCopy(const std::string& dir, uint64_t bytes) {
  const std::string from = dir + "/raw-from", to = dir + "/raw-to";
  std::vector<char> buf(1 << 20);
  for (size_t i = 0; i < buf.size(); ++i) buf[i] = static_cast<char>(i * 131 + 7);
  const int in = open(from.c_str(), O_CREAT | O_TRUNC | O_RDWR, 0600);
  const int outFd = open(to.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
  bool ok = in >= 0 && outFd >= 0;
  for (uint64_t at = 0; ok && at < bytes; at += buf.size())
    ok = pwrite(in, buf.data(), buf.size(), static_cast<off_t>(at)) == static_cast<ssize_t>(buf.size());
  const auto t0 = Clock::now();
  for (uint64_t at = 0; ok && at < bytes; at += buf.size()) {
    const ssize_t n = pread(in, buf.data(), buf.size(), static_cast<off_t>(at));
    ok = n > 0 && pwrite(outFd, buf.data(), static_cast<size_t>(n), static_cast<off_t>(at)) == n;
  }
  const double s = Seconds(Clock::now() - t0);
  if (in >= 0) close(in);
  if (outFd >= 0) close(outFd);
  unlink(from.c_str());
  unlink(to.c_str());
  if (!ok) Fail("raw copy");
  return ok && s > 0 ? static_cast<double>(bytes) / s : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 256;
  if (mib < 4) return Fail("disk size below 4 MiB"), 2;
  const uint64_t sectors = mib << 11;
  char tmpl[] = "/tmp/kel_sync_bench.XXXXXX";
  if (mkdtemp(tmpl) == nullptr) return Fail("temporary folder"), 1;
  const std::string tmp = tmpl;

  RebuildFigures real, stub;
  const bool ok = RunRebuild(tmp + "/sim", sectors, false, &real) &&
                  RunRebuild(tmp + "/stub", sectors, true, &stub);
  const double raw = ok ? RawCopy(tmp, real.bytes) : 0;
  std::error_code ec;
  std::filesystem::remove_all(tmp, ec);
  if (!ok || raw <= 0) return 1;

  const double mb = 1e6;
  const double rebuild = static_cast<double>(real.bytes) / real.seconds;
  std::printf("mirror of 2 x %llu MiB, %llu MiB rebuilt in %ld steps (%ld copy commands)\n",
              static_cast<unsigned long long>(mib),
              static_cast<unsigned long long>(real.bytes >> 20), real.steps, real.copies);
  std::printf("rebuild through the engine : %8.1f MB/s  (%.3f s)\n", rebuild / mb, real.seconds);
  std::printf("raw file copy              : %8.1f MB/s\n", raw / mb);
  std::printf("ratio                      : %8.1f %%  (target >= 50 %%)\n", 100 * rebuild / raw);
  std::printf("step, all                  : %8.1f us\n", 1e6 * real.seconds / real.steps);
  std::printf("  simulator's copy answer  : %8.1f us\n", 1e6 * real.copySeconds / real.steps);
  std::printf("  service's own (by subtraction): %5.1f us  (target < 50 us)\n",
              1e6 * (real.seconds - real.copySeconds) / real.steps);
  std::printf("  service's own (copy stubbed)  : %5.1f us\n", 1e6 * stub.seconds / stub.steps);
  std::printf("sub-commands per step      :");
  for (const auto& [code, n] : real.sent)
    std::printf(" 0x%02x x %.2f", code, static_cast<double>(n) / static_cast<double>(real.steps));
  std::printf("\n");
  return 0;
}
