// The engine facade's array creation and size range: counts, pointers and the name checked
// here, the request record built, the creation itself run by the device manager under its
// write lock.
#include <cstring>

#include "engine/dev_manage.h"
#include "service/engine/zr_facade.h"
#include "service/engine/zr_private.h"
#include "sharedlib/diag.h"

namespace {

KelDeviceManage* DM() { return g_pKelDM.load(); }

// Disk counts each create entry accepts.
struct CountRange {
  int lo;
  int hi;
};

int CheckCount(int n, CountRange r, bool even) {
  if (n < r.lo) return ZR_TOO_FEW_DISKS;
  if (n > r.hi) return ZR_TOO_MANY_DISKS;
  if (even && n % 2 != 0) return ZR_ODD_DISK_COUNT;
  return ZR_OK;
}

// Builds the request and hands it over. Everything the caller passed is checked before
// any of its disk entries is read: the count bounds how many are.
int Create(uint8_t type, int n, CountRange r, bool even, const _Index_Plus_t* pds,
           uint32_t sizeLow, uint32_t sizeHigh, int stripe, const char* name, int B, int A = 0,
           int C = 0) {
  ZR_CHECK_INIT();
  if (pds == nullptr || name == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "array creation without disks or name\n");
    return ZR_BAD_PARAM;
  }
  if (int rc = CheckCount(n, r, even); rc != ZR_OK) {
    KEL_PRINT(ZEP_DBG_ERROR, "%d disks do not suit RAID type %u\n", n, type);
    return rc;
  }
  _CREATE_ARRAY_PDS_INFO req{};
  if (memchr(name, 0, sizeof req.arrayName) == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "array name not terminated within %zu bytes\n", sizeof req.arrayName);
    return ZR_BAD_PARAM;
  }
  if (B != static_cast<int>(KEL_CREATE_EMPTY) && B != static_cast<int>(KEL_CREATE_KEEP_DATA)) {
    KEL_PRINT(ZEP_DBG_ERROR, "unknown creation mode %d\n", B);
    return ZR_BAD_PARAM;
  }
  req.nPDNum = n;
  std::memcpy(req.pds, pds, sizeof(_Index_Plus_t) * static_cast<size_t>(n));
  std::strncpy(req.arrayName, name, sizeof req.arrayName - 1);
  req.dw64Size = (static_cast<uint64_t>(sizeHigh) << 32) | sizeLow;
  req.paramA = static_cast<uint32_t>(A);
  req.paramB = static_cast<uint32_t>(B);
  req.paramC = static_cast<uint32_t>(C);
  req.raidType = type;
  // Anything that is no stripe size at all is passed on as 0, which every striped level refuses.
  req.stripeKiB = (stripe > 0 && stripe <= 0xFFFF) ? static_cast<uint16_t>(stripe) : 0;
  return DM()->CreateRaidArrayL(&req);
}

}  // namespace

int zr_create_span_TARVOII(int n, const _Index_Plus_t* pds, uint32_t sizeLow, uint32_t sizeHigh,
                           const char* name, int B) {
  return Create(KEL_RAID_SPAN, n, {1, 4}, false, pds, sizeLow, sizeHigh, 0, name, B);
}
int zr_create_stripe_TARVOII(int n, const _Index_Plus_t* pds, uint32_t sizeLow,
                             uint32_t sizeHigh, int stripe, const char* name, int B) {
  return Create(KEL_RAID_0, n, {2, 4}, false, pds, sizeLow, sizeHigh, stripe, name, B);
}
int zr_create_mirror_TARVOII(int n, const _Index_Plus_t* pds, uint32_t sizeLow,
                             uint32_t sizeHigh, const char* name, int B) {
  return Create(KEL_RAID_1, n, {2, 3}, false, pds, sizeLow, sizeHigh, 0, name, B);
}
int zr_create_raid01_TARVOII(int n, const _Index_Plus_t* pds, uint32_t sizeLow,
                             uint32_t sizeHigh, int stripe, const char* name, int B) {
  return Create(KEL_RAID_01, n, {2, 4}, true, pds, sizeLow, sizeHigh, stripe, name, B);
}
int zr_create_raid5_TARVOII(int n, const _Index_Plus_t* pds, uint32_t sizeLow, uint32_t sizeHigh,
                            int stripe, int A, const char* name, int B, int C) {
  return Create(KEL_RAID_5, n, {3, 4}, false, pds, sizeLow, sizeHigh, stripe, name, B, A, C);
}

int zr_get_array_create_info_by_pds(int n, const _Index_Plus_t* pds, int type, int mode,
                                    _Array_Create_Info_t* info) {
  ZR_CHECK_INIT();
  if (pds == nullptr || info == nullptr) return ZR_BAD_PARAM;
  if (n < 1 || n > KEL_MAX_CREATE_DISKS) return ZR_NO_OBJECT;
  if (type < 0 || type > 0xFF) return ZR_WRONG_TYPE;
  _CREATE_ARRAY_PDS_INFO req{};
  req.nPDNum = n;
  std::memcpy(req.pds, pds, sizeof(_Index_Plus_t) * static_cast<size_t>(n));
  req.paramB = static_cast<uint32_t>(mode);
  req.raidType = static_cast<uint8_t>(type);
  return DM()->CalCreateArraySizeL(&req, info);
}
