// The engine facade's array creation and size range: counts, pointers and the name checked
// here, the request record built, the creation itself run by the device manager under its
// write lock.
#include "engine/dev_manage.h"
#include "service/engine/zr_facade.h"
#include "service/engine/zr_private.h"

// Placeholders until creation lands: every entry refuses as an unknown operation.
int zr_create_span_TARVOII(int, const _Index_Plus_t*, uint32_t, uint32_t, const char*, int) {
  ZR_CHECK_INIT();
  return ZR_WRONG_TYPE;
}
int zr_create_stripe_TARVOII(int, const _Index_Plus_t*, uint32_t, uint32_t, int, const char*,
                             int) {
  ZR_CHECK_INIT();
  return ZR_WRONG_TYPE;
}
int zr_create_mirror_TARVOII(int, const _Index_Plus_t*, uint32_t, uint32_t, const char*, int) {
  ZR_CHECK_INIT();
  return ZR_WRONG_TYPE;
}
int zr_create_raid01_TARVOII(int, const _Index_Plus_t*, uint32_t, uint32_t, int, const char*,
                             int) {
  ZR_CHECK_INIT();
  return ZR_WRONG_TYPE;
}
int zr_create_raid5_TARVOII(int, const _Index_Plus_t*, uint32_t, uint32_t, int, int, const char*,
                            int, int) {
  ZR_CHECK_INIT();
  return ZR_WRONG_TYPE;
}
int zr_get_array_create_info_by_pds(int, const _Index_Plus_t*, int, int, _Array_Create_Info_t*) {
  ZR_CHECK_INIT();
  return ZR_WRONG_TYPE;
}
