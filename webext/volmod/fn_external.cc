// Script names that belong to the older direct-access RAID library, which this system does
// not have, and two names that never had a body. They stay registered so that old pages
// get a code instead of "call to undefined function": each checks its arguments as the
// real function would (201 when they do not parse), warns once naming itself, and returns
// kVolmodNotAvailable. Nothing is sent anywhere.
#include <cstring>

#include "zv_util.h"

namespace {

// Whether argument `arg` (1-based) parses as `letter` would: l integer, s string, b bool,
// a array, z anything; `nullable` accepts null as well. Weak conversions and the strict
// mode of the calling script are the engine's own rules.
bool ArgParses(zval* value, char letter, bool nullable, uint32_t arg) {
  switch (letter) {
    case 'l': {
      zend_long l;
      bool isNull;
      return zend_parse_arg_long(value, &l, &isNull, nullable, arg);
    }
    case 's': {
      char* s;
      size_t n;
      return zend_parse_arg_string(value, &s, &n, nullable, arg);
    }
    case 'b': {
      bool b;
      bool isNull;
      return zend_parse_arg_bool(value, &b, &isNull, nullable, arg);
    }
    case 'a': {
      zval* a;
      return zend_parse_arg_array(value, &a, nullable, false);
    }
    default:
      return true;
  }
}

// `spec` lists one letter per argument, a '!' after a letter allowing null.
bool ArgsParse(zend_execute_data* execute_data, const char* spec) {
  uint32_t wanted = 0;
  for (const char* p = spec; *p != '\0'; ++p) wanted += *p != '!';
  if (ZEND_NUM_ARGS() != wanted) return false;
  uint32_t arg = 0;
  for (const char* p = spec; *p != '\0'; ++p) {
    if (*p == '!') continue;
    ++arg;
    if (!ArgParses(ZEND_CALL_ARG(execute_data, arg), *p, p[1] == '!', arg)) return false;
  }
  return true;
}

zend_long Unavailable(zend_execute_data* execute_data, const char* name, const char* spec) {
  if (!ArgsParse(execute_data, spec)) return kVolmodBadArgs;
  zend_error(E_WARNING, "%s: not available on this system", name);
  return kVolmodNotAvailable;
}

}  // namespace

#define VOLMOD_UNAVAILABLE(fn, spec) \
  ZEND_FUNCTION(fn) { RETURN_LONG(Unavailable(execute_data, #fn, spec)); }

VOLMOD_UNAVAILABLE(php_zr_init, "")
VOLMOD_UNAVAILABLE(php_zr_init_pd, "l")
VOLMOD_UNAVAILABLE(php_zr_get_disk_num_per_chl, "lz")
VOLMOD_UNAVAILABLE(php_zr_get_array_num, "lz")
VOLMOD_UNAVAILABLE(php_zr_remove_raid, "l")
VOLMOD_UNAVAILABLE(php_zr_create_stripe, "lalsb")
VOLMOD_UNAVAILABLE(php_zr_create_mirror, "lasb")
VOLMOD_UNAVAILABLE(php_zr_create_span, "lasb")
VOLMOD_UNAVAILABLE(php_zr_create_simpleraid, "lasb")
VOLMOD_UNAVAILABLE(php_zr_create_raid01, "laslb")
VOLMOD_UNAVAILABLE(php_zr_create_raid5, "lalsblb")
VOLMOD_UNAVAILABLE(php_zr_create_raid_free, "llasbllbla")
VOLMOD_UNAVAILABLE(php_zr_repair_mirror_with_spare, "l")
VOLMOD_UNAVAILABLE(php_zr_repair_mirror_with_spare_tarvo, "l")
VOLMOD_UNAVAILABLE(php_zr_repair_mirror_with_new_disk_tarvo, "la")
VOLMOD_UNAVAILABLE(php_zr_repair_mirror_with_new_disk_zraid, "ll")
VOLMOD_UNAVAILABLE(php_zr_mirror_remove_spare, "l")
VOLMOD_UNAVAILABLE(php_zr_mirror_remove_spare_tarvo, "l")
VOLMOD_UNAVAILABLE(php_zr_mirror_add_spare_tarvo, "la")
VOLMOD_UNAVAILABLE(php_zr_mirror_add_spare_zraid, "ll")
VOLMOD_UNAVAILABLE(php_zr_repair_broken_raid01_tarvo, "lla")
VOLMOD_UNAVAILABLE(php_zr_repair_broken_raid01_zraid, "lla")
VOLMOD_UNAVAILABLE(php_zr_repair_raid5_with_new_disk_tarvo, "la")
VOLMOD_UNAVAILABLE(php_zr_repair_raid5_with_new_disk_zraid, "ll")
VOLMOD_UNAVAILABLE(php_zr_sync_disk_pair, "llzz!")
VOLMOD_UNAVAILABLE(php_zr_sync_disk_pair_tarvo, "llzz!")
VOLMOD_UNAVAILABLE(php_zr_sync_disk_pair_tarvoii, "aazz!")
VOLMOD_UNAVAILABLE(php_zr_sync_raid01, "lzz!l")
VOLMOD_UNAVAILABLE(php_zr_sync_raid01_tarvo, "lzz!l")
VOLMOD_UNAVAILABLE(php_zr_sync_raid01_tarvoii, "azz!l")
VOLMOD_UNAVAILABLE(php_zr_sync_raid5, "lzz!")
VOLMOD_UNAVAILABLE(php_zr_sync_raid5_tarvo, "lzz!")
VOLMOD_UNAVAILABLE(php_zr_sync_raid5_tarvoii, "azz!")
VOLMOD_UNAVAILABLE(php_zr_migration_raid, "lzz!")
VOLMOD_UNAVAILABLE(php_zr_migration_raid_tarvo, "lzz!")
VOLMOD_UNAVAILABLE(php_zr_migration_raid_tarvoii, "azz!")
VOLMOD_UNAVAILABLE(php_zr_replace_pd_init_tarvo, "ll")
VOLMOD_UNAVAILABLE(php_zr_replace_pd_tarvo, "llz")
VOLMOD_UNAVAILABLE(php_zr_replace_pd_tarvoii, "aaz")
VOLMOD_UNAVAILABLE(php_zr_replace_pd_remove_tarvo, "ll")
VOLMOD_UNAVAILABLE(php_zr_check_sync_mig_replace_status, "zzzzz")
VOLMOD_UNAVAILABLE(php_zr_check_hotplug_by_controller, "lz")
VOLMOD_UNAVAILABLE(php_zr_get_set_power_mode, "zl")
VOLMOD_UNAVAILABLE(php_zr_force_rescan_bus, "l")
VOLMOD_UNAVAILABLE(php_zr_get_pd_magicnum, "lz")
VOLMOD_UNAVAILABLE(php_zr_get_array_magicnum, "lz")
VOLMOD_UNAVAILABLE(php_zr_relse_rsc_while_exit, "")
VOLMOD_UNAVAILABLE(php_zr_get_array_info_by_disk, "")
VOLMOD_UNAVAILABLE(php_zr_init_pd_by_phy_address, "llll")
