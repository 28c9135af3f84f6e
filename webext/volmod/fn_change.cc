// Configuration changes: creating, removing and repairing arrays, spares, the hardware
// rescan and the driver reload. Arguments that cannot be parsed give 201, and so does a
// disk or array list whose element count is not the count given or that holds anything
// but references: nothing is sent then. How many references and how long a name a
// request holds is checked by the request layer (also 201).
#include "webext/volmod/core/zr_request.h"
#include "zv_util.h"

namespace {

// Shared by the create functions: the parsed count, reference list, size text and name.
struct CreateArgs {
  zend_long count = 0;
  HashTable* disks = nullptr;
  char* size = nullptr;
  size_t sizeLen = 0;
  char* name = nullptr;
  size_t nameLen = 0;
  bool keepData = false;
};

// Runs `create(count, refs, sizeMiB, name)` once the list matched the count.
template <class Create>
zend_long CreateArray(const CreateArgs& a, Create&& create) {
  std::vector<_Index_Plus_t> refs;
  if (!zvu::ToIndexPlusList(a.disks, a.count, &refs)) return kVolmodBadArgs;
  const std::string name = zvu::CText(a.name, a.nameLen);
  // A name cut at a zero byte would be sent as something else than the script asked for.
  if (name.size() != a.nameLen) return kVolmodBadArgs;
  return zvu::Guarded([&] {
    return create(a.count, refs.data(), TextToU64(a.size, a.sizeLen), name.c_str());
  });
}

// One reference argument parsed as an array.
_Index_Plus_t Ref(HashTable* ht) { return zvu::ToIndexPlus(ht); }

}  // namespace

ZEND_FUNCTION(php_zr_create_span_tarvoii) {
  CreateArgs a;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 5, 5)
  Z_PARAM_LONG(a.count)
  Z_PARAM_ARRAY_HT(a.disks)
  Z_PARAM_STRING(a.size, a.sizeLen)
  Z_PARAM_STRING(a.name, a.nameLen)
  Z_PARAM_BOOL(a.keepData)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  RETURN_LONG(CreateArray(a, [&](long n, const _Index_Plus_t* d, uint64_t size, const char* name) {
    return zr_create_span_TARVOII(n, d, size, name, a.keepData);
  }));
}

ZEND_FUNCTION(php_zr_create_stripe_tarvoii) {
  CreateArgs a;
  zend_long stripe;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 6, 6)
  Z_PARAM_LONG(a.count)
  Z_PARAM_ARRAY_HT(a.disks)
  Z_PARAM_STRING(a.size, a.sizeLen)
  Z_PARAM_LONG(stripe)
  Z_PARAM_STRING(a.name, a.nameLen)
  Z_PARAM_BOOL(a.keepData)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  RETURN_LONG(CreateArray(a, [&](long n, const _Index_Plus_t* d, uint64_t size, const char* name) {
    return zr_create_stripe_TARVOII(n, d, size, stripe, name, a.keepData);
  }));
}

ZEND_FUNCTION(php_zr_create_mirror_tarvoii) {
  CreateArgs a;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 5, 5)
  Z_PARAM_LONG(a.count)
  Z_PARAM_ARRAY_HT(a.disks)
  Z_PARAM_STRING(a.size, a.sizeLen)
  Z_PARAM_STRING(a.name, a.nameLen)
  Z_PARAM_BOOL(a.keepData)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  RETURN_LONG(CreateArray(a, [&](long n, const _Index_Plus_t* d, uint64_t size, const char* name) {
    return zr_create_mirror_TARVOII(n, d, size, name, a.keepData);
  }));
}

ZEND_FUNCTION(php_zr_create_raid01_tarvoii) {
  CreateArgs a;
  zend_long stripe;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 6, 6)
  Z_PARAM_LONG(a.count)
  Z_PARAM_ARRAY_HT(a.disks)
  Z_PARAM_STRING(a.size, a.sizeLen)
  Z_PARAM_LONG(stripe)
  Z_PARAM_STRING(a.name, a.nameLen)
  Z_PARAM_BOOL(a.keepData)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  RETURN_LONG(CreateArray(a, [&](long n, const _Index_Plus_t* d, uint64_t size, const char* name) {
    return zr_create_raid01_TARVOII(n, d, size, stripe, name, a.keepData);
  }));
}

ZEND_FUNCTION(php_zr_create_raid5_tarvoii) {
  CreateArgs a;
  zend_long stripe, parameter;
  bool second;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 8, 8)
  Z_PARAM_LONG(a.count)
  Z_PARAM_ARRAY_HT(a.disks)
  Z_PARAM_STRING(a.size, a.sizeLen)
  Z_PARAM_LONG(stripe)
  Z_PARAM_LONG(parameter)
  Z_PARAM_STRING(a.name, a.nameLen)
  Z_PARAM_BOOL(a.keepData)
  Z_PARAM_BOOL(second)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  RETURN_LONG(CreateArray(a, [&](long n, const _Index_Plus_t* d, uint64_t size, const char* name) {
    return zr_create_raid5_TARVOII(n, d, size, stripe, parameter, name, a.keepData, second);
  }));
}

// `results` receives one code per array whenever the service ran the removal, also when
// some of them failed.
ZEND_FUNCTION(php_zr_remove_raid_tarvoii) {
  zend_long count;
  HashTable* arrays;
  zval* results;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 3, 3)
  Z_PARAM_LONG(count)
  Z_PARAM_ARRAY_HT(arrays)
  Z_PARAM_ZVAL(results)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  if (!zvu::AllRefs({results})) RETURN_LONG(kVolmodBadArgs);
  std::vector<_Index_Plus_t> refs;
  if (!zvu::ToIndexPlusList(arrays, count, &refs)) RETURN_LONG(kVolmodBadArgs);
  std::vector<int> codes;
  const int rc = zvu::Guarded([&] { return zr_remove_raid_TARVOII(count, refs.data(), &codes); });
  if (!codes.empty()) zvu::SetIntList(results, codes);
  RETURN_LONG(rc);
}

ZEND_FUNCTION(php_zr_mirror_add_spare_tarvoii) {
  HashTable *array, *disk;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 2, 2)
  Z_PARAM_ARRAY_HT(array)
  Z_PARAM_ARRAY_HT(disk)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  const _Index_Plus_t a = Ref(array), d = Ref(disk);
  RETURN_LONG(zvu::Guarded([&] { return zr_mirror_add_spare_TARVOII(&a, &d); }));
}

ZEND_FUNCTION(php_zr_mirror_remove_spare_tarvoii) {
  HashTable* array;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 1, 1)
  Z_PARAM_ARRAY_HT(array)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  const _Index_Plus_t a = Ref(array);
  RETURN_LONG(zvu::Guarded([&] { return zr_mirror_remove_spare_TARVOII(&a); }));
}

ZEND_FUNCTION(php_zr_repair_mirror_with_spare_tarvoii) {
  HashTable* array;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 1, 1)
  Z_PARAM_ARRAY_HT(array)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  const _Index_Plus_t a = Ref(array);
  RETURN_LONG(zvu::Guarded([&] { return zr_repair_mirror_with_spare_TARVOII(&a); }));
}

ZEND_FUNCTION(php_zr_repair_mirror_with_new_disk_tarvoii) {
  HashTable *array, *disk;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 2, 2)
  Z_PARAM_ARRAY_HT(array)
  Z_PARAM_ARRAY_HT(disk)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  const _Index_Plus_t a = Ref(array), d = Ref(disk);
  RETURN_LONG(zvu::Guarded([&] { return zr_repair_mirror_with_new_disk_TARVOII(&a, &d); }));
}

ZEND_FUNCTION(php_zr_repair_broken_raid01_tarvoii) {
  HashTable *array, *disks;
  zend_long count;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 3, 3)
  Z_PARAM_ARRAY_HT(array)
  Z_PARAM_LONG(count)
  Z_PARAM_ARRAY_HT(disks)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  std::vector<_Index_Plus_t> refs;
  if (!zvu::ToIndexPlusList(disks, count, &refs)) RETURN_LONG(kVolmodBadArgs);
  const _Index_Plus_t a = Ref(array);
  RETURN_LONG(
      zvu::Guarded([&] { return zr_repair_broken_raid01_TARVOII(&a, count, refs.data()); }));
}

ZEND_FUNCTION(php_zr_repair_raid5_with_new_disk_tarvoii) {
  HashTable *array, *disk;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 2, 2)
  Z_PARAM_ARRAY_HT(array)
  Z_PARAM_ARRAY_HT(disk)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  const _Index_Plus_t a = Ref(array), d = Ref(disk);
  RETURN_LONG(zvu::Guarded([&] { return zr_repair_raid5_with_new_disk_TARVOII(&a, &d); }));
}

ZEND_FUNCTION(php_zr_update_hardware_info) {
  RETURN_LONG(zvu::Guarded([] { return zr_update_hardware_info(); }));
}

ZEND_FUNCTION(php_zr_reload_driver) {
  bool reboot;
  char *user, *password;
  size_t userLen, passwordLen;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 3, 3)
  Z_PARAM_BOOL(reboot)
  Z_PARAM_STRING(user, userLen)
  Z_PARAM_STRING(password, passwordLen)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  const std::string u = zvu::CText(user, userLen), p = zvu::CText(password, passwordLen);
  RETURN_LONG(zvu::Guarded([&] { return zr_reload_driver(reboot, u.c_str(), p.c_str()); }));
}
