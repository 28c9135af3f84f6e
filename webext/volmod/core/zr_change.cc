// The configuration changes of the request layer. Everything a request record cannot hold
// - more references than it has room for, a name longer than its field, a stripe or
// parameter wider than its bytes - is refused here before anything is sent, rather than
// cut short on the way out.
#include <climits>
#include <cstring>

#include "webext/client/client_raid_change.h"
#include "webext/client/client_raid_query.h"
#include "webext/volmod/core/zr_args.h"
#include "webext/volmod/core/zr_request.h"

namespace {

constexpr long kByteMax = 0xFF;
constexpr long kU32Max = 0xFFFFFFFFL;
// Stands for "not written" in the per-array results: the service reports codes, never this.
constexpr int kNotReported = INT_MIN;

struct CreateArgs {
  unsigned char kind = 0;
  long count = 0;
  const _Index_Plus_t* disks = nullptr;
  uint64_t size = 0;
  long stripe = 0;
  long parameter = 0;
  const char* name = nullptr;
  bool keepData = false;
  bool secondOption = false;
};

int Create(const char* function, const CreateArgs& a) {
  if (!ZrFits(a.count, kRaidMaxCreateDisks)) return ZrTooMuch(function, "that many disks");
  if (a.name != nullptr && strnlen(a.name, kRaidArrayNameSize) >= kRaidArrayNameSize)
    return ZrTooMuch(function, "a name that long");
  if (!ZrFits(a.stripe, kByteMax)) return ZrTooMuch(function, "that stripe size");
  if (!ZrFits(a.parameter, kU32Max)) return ZrTooMuch(function, "that parameter");
  if (a.name == nullptr || (a.disks == nullptr && a.count != 0))
    return ZrInvalid(function, "no disks or name");
  KelCreateRequest r;
  r.kind = a.kind;
  r.mode = a.keepData ? KEL_CREATE_MODE_KEEP_DATA : KEL_CREATE_MODE_EMPTY;
  r.diskCount = static_cast<unsigned int>(a.count);
  if (a.count != 0) memcpy(r.disks, a.disks, a.count * sizeof(_Index_Plus_t));
  r.sizeMiB = a.size;
  r.stripeKiB = static_cast<unsigned char>(a.stripe);
  r.raid5Parameter = static_cast<uint32_t>(a.parameter);
  r.secondOption = a.secondOption ? 1 : 0;
  r.name = a.name;
  return ZrExchange([&](int sock) { return KelCreateArray(sock, r); });
}

int Repair(const char* function, unsigned char kind, const _Index_Plus_t* array,
           const _Index_Plus_t* disks, unsigned int n) {
  if (array == nullptr || (disks == nullptr && n != 0)) return ZrInvalid(function, "no reference");
  return ZrExchange([&](int sock) { return KelRepairArray(sock, kind, array, disks, n); });
}

}  // namespace

int zr_create_span_TARVOII(long count, const _Index_Plus_t* disks, uint64_t size,
                           const char* name, bool keepData) {
  return Create(__func__, {.kind = KEL_CREATE_KIND_SPAN, .count = count, .disks = disks,
                           .size = size, .name = name, .keepData = keepData});
}

int zr_create_stripe_TARVOII(long count, const _Index_Plus_t* disks, uint64_t size, long stripe,
                             const char* name, bool keepData) {
  return Create(__func__, {.kind = KEL_CREATE_KIND_RAID0, .count = count, .disks = disks,
                           .size = size, .stripe = stripe, .name = name, .keepData = keepData});
}

int zr_create_mirror_TARVOII(long count, const _Index_Plus_t* disks, uint64_t size,
                             const char* name, bool keepData) {
  return Create(__func__, {.kind = KEL_CREATE_KIND_RAID1, .count = count, .disks = disks,
                           .size = size, .name = name, .keepData = keepData});
}

int zr_create_raid01_TARVOII(long count, const _Index_Plus_t* disks, uint64_t size, long stripe,
                             const char* name, bool keepData) {
  return Create(__func__, {.kind = KEL_CREATE_KIND_RAID01, .count = count, .disks = disks,
                           .size = size, .stripe = stripe, .name = name, .keepData = keepData});
}

int zr_create_raid5_TARVOII(long count, const _Index_Plus_t* disks, uint64_t size, long stripe,
                            long parameter, const char* name, bool keepData, bool secondOption) {
  return Create(__func__, {.kind = KEL_CREATE_KIND_RAID5, .count = count, .disks = disks,
                           .size = size, .stripe = stripe, .parameter = parameter, .name = name,
                           .keepData = keepData, .secondOption = secondOption});
}

int zr_remove_raid_TARVOII(long count, const _Index_Plus_t* arrays, std::vector<int>* results) {
  if (count < 1 || count > static_cast<long>(kRaidMaxRemoveArrays))
    return ZrTooMuch(__func__, "that many arrays");
  if (arrays == nullptr || results == nullptr) return ZrInvalid(__func__, "no arrays or results");
  const unsigned int n = static_cast<unsigned int>(count);
  int got[kRaidMaxRemoveArrays];
  for (int& r : got) r = kNotReported;
  const int ret = ZrExchange([&](int sock) { return KelRemoveArrays(sock, arrays, n, got); });
  // The library copies all n codes or none; they count whenever the service ran the removal.
  if (got[0] != kNotReported) results->assign(got, got + n);
  return ret;
}

int zr_mirror_add_spare_TARVOII(const _Index_Plus_t* array, const _Index_Plus_t* disk) {
  if (array == nullptr || disk == nullptr) return ZrInvalid(__func__, "no reference");
  return ZrExchange([&](int sock) { return KelAddSpare(sock, array, disk); });
}

int zr_mirror_remove_spare_TARVOII(const _Index_Plus_t* array) {
  if (array == nullptr) return ZrInvalid(__func__, "no reference");
  return ZrExchange([&](int sock) { return KelRemoveSpare(sock, array); });
}

int zr_repair_mirror_with_spare_TARVOII(const _Index_Plus_t* array) {
  return Repair(__func__, KEL_REPAIR_MIRROR_WITH_SPARE, array, nullptr, 0);
}

int zr_repair_mirror_with_new_disk_TARVOII(const _Index_Plus_t* array, const _Index_Plus_t* disk) {
  if (disk == nullptr) return ZrInvalid(__func__, "no disk");
  return Repair(__func__, KEL_REPAIR_MIRROR_WITH_DISK, array, disk, 1);
}

int zr_repair_broken_raid01_TARVOII(const _Index_Plus_t* array, long count,
                                    const _Index_Plus_t* disks) {
  if (count < 1 || count > static_cast<long>(kRaidMaxRepairDisks))
    return ZrTooMuch(__func__, "that many disks");
  return Repair(__func__, KEL_REPAIR_RAID01, array, disks, static_cast<unsigned int>(count));
}

int zr_repair_raid5_with_new_disk_TARVOII(const _Index_Plus_t* array, const _Index_Plus_t* disk) {
  if (disk == nullptr) return ZrInvalid(__func__, "no disk");
  return Repair(__func__, KEL_REPAIR_RAID5_WITH_DISK, array, disk, 1);
}

int zr_update_hardware_info() {
  return ZrExchange([](int sock) { return KelRescanHardware(sock); });
}

int zr_reload_driver(bool reboot, const char* user, const char* password) {
  if (user == nullptr || password == nullptr) return ZrInvalid(__func__, "no user or password");
  if (strnlen(user, kRaidReloadTextSize) >= kRaidReloadTextSize ||
      strnlen(password, kRaidReloadTextSize) >= kRaidReloadTextSize)
    return ZrTooMuch(__func__, "a user name or password that long");
  return ZrExchange([&](int sock) { return KelReloadDriver(sock, reboot, user, password); });
}
