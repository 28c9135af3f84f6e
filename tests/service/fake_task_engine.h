// A task engine for tests: steps report 50 % and succeed unless `step` says otherwise;
// a cancel is counted and succeeds; disk keys come from `disks`, by array.
#ifndef KEL_TESTS_SERVICE_FAKE_TASK_ENGINE_H
#define KEL_TESTS_SERVICE_FAKE_TASK_ENGINE_H

#include <atomic>
#include <functional>
#include <map>

#include "service/task/task_engine.h"
#include "sharedlib/kel_thread.h"

struct FakeEngine : KelTaskEngine {
  // Set before the first task starts. Default: progress 50, never complete.
  std::function<int(int call)> step = [](int) { return 0; };
  std::map<int, std::vector<std::string>> disks;  // by array
  std::atomic<int> steps{0}, cancels{0};
  std::atomic<bool> devicesGone{false};  // magic look-ups fail
  std::atomic<bool> needsWork{true};

  int Step(const KelAsyncTaskData&, uint16_t* percent) override {
    if (percent == nullptr) return ++cancels, 0;
    *percent = 50;
    KelBaseThread::KelThreadSleep(1);
    return step(++steps);
  }
  bool DiskKeys(const KelAsyncTaskData& t, std::vector<std::string>* keys) override {
    const auto it = disks.find(t.uIndex1);  // read-only: several threads ask at once
    if (it != disks.end()) *keys = it->second;
    return true;
  }
  bool Magic(bool, int, uint16_t* magic) override { return *magic = 7, !devicesGone; }
  uint64_t Capacity(const KelAsyncTaskData& t) override { return t.uIndex1; }
  int GetSMRHandles(_LIB_Need_SMR_Info_t*) override { return 0; }
  int PrepareReplace(const KelAsyncTaskData&, bool) override { return 0; }
  bool ArrayHasDisk(int, const std::vector<_Index_Plus_t>&) override { return false; }
  bool NeedsWork(const KelAsyncTaskData&) override { return needsWork; }
};

#endif
