// Device and array queries: each asks the request layer for one record (or list) and hands
// it to the script as an associative array, written only when the query succeeded.
// Arguments that cannot be parsed and result variables that are no references give 201.
#include <algorithm>
#include <cstring>

#include "webext/volmod/core/zr_request.h"
#include "zv_util.h"

namespace {

// Fetches one record with `call` and writes `toFields(record)` into `out` on success.
template <class Rec, class Call, class ToFields>
zend_long Record(zval* out, Call&& call, ToFields&& toFields) {
  Rec rec{};
  ZrFields fields;
  const int rc = zvu::Guarded([&] {
    const int r = call(&rec);
    if (r == 0) fields = toFields(rec);
    return r;
  });
  if (rc == 0) zvu::SetFields(out, fields);
  return rc;
}

// A list of records, one associative array per element.
void SetRecordList(zval* ref, const std::vector<ZrFields>& records) {
  zval list;
  array_init_size(&list, static_cast<uint32_t>(records.size()));
  for (const ZrFields& f : records) {
    zval rec;
    zvu::FieldsToArray(f, &rec);
    add_next_index_zval(&list, &rec);
  }
  zvu::SetArray(ref, &list);
}

}  // namespace

ZEND_FUNCTION(php_zr_get_controller_num) {
  zval* count;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 1, 1)
  Z_PARAM_ZVAL(count)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  if (!zvu::AllRefs({count})) RETURN_LONG(kVolmodBadArgs);
  unsigned int n = 0;
  const int rc = zvu::Guarded([&] { return zr_get_controller_num(&n); });
  if (rc == 0) zvu::SetLong(count, n);
  RETURN_LONG(rc);
}

ZEND_FUNCTION(php_zr_get_controller_info) {
  zend_long index;
  zval* info;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 2, 2)
  Z_PARAM_LONG(index)
  Z_PARAM_ZVAL(info)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  if (!zvu::AllRefs({info})) RETURN_LONG(kVolmodBadArgs);
  RETURN_LONG(Record<_zr_controller_info>(
      info, [&](auto* r) { return zr_get_controller_info(index, r); }, ControllerFields));
}

ZEND_FUNCTION(php_zr_get_channel_info) {
  zend_long ctrl, chan;
  zval* info;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 3, 3)
  Z_PARAM_LONG(ctrl)
  Z_PARAM_LONG(chan)
  Z_PARAM_ZVAL(info)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  if (!zvu::AllRefs({info})) RETURN_LONG(kVolmodBadArgs);
  RETURN_LONG(Record<_zr_channel_info>(
      info, [&](auto* r) { return zr_get_channel_info(ctrl, chan, r); }, ChannelFields));
}

ZEND_FUNCTION(php_zr_get_device_hub_info) {
  zend_long ctrl, chan, hub;
  zval* info;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 4, 4)
  Z_PARAM_LONG(ctrl)
  Z_PARAM_LONG(chan)
  Z_PARAM_LONG(hub)
  Z_PARAM_ZVAL(info)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  if (!zvu::AllRefs({info})) RETURN_LONG(kVolmodBadArgs);
  RETURN_LONG(Record<_zr_device_hub_info_t>(
      info, [&](auto* r) { return zr_get_device_hub_info(ctrl, chan, hub, r); }, HubFields));
}

ZEND_FUNCTION(php_zr_get_pd_num) {
  zval* map;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 1, 1)
  Z_PARAM_ZVAL(map)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  if (!zvu::AllRefs({map})) RETURN_LONG(kVolmodBadArgs);
  RETURN_LONG(Record<_Kel_Index_Map>(map, [](auto* r) { return zr_get_pd_num(r); }, IndexMapFields));
}

ZEND_FUNCTION(php_zr_get_pd_info) {
  zend_long disk;
  zval* info;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 2, 2)
  Z_PARAM_LONG(disk)
  Z_PARAM_ZVAL(info)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  if (!zvu::AllRefs({info})) RETURN_LONG(kVolmodBadArgs);
  RETURN_LONG(Record<_zr_device_info>(
      info, [&](auto* r) { return zr_get_pd_info(disk, r); },
      [](const _zr_device_info& d) { return DiskFields(d, ZrDiskQuery::kByIndex); }));
}

ZEND_FUNCTION(php_zr_get_pd_info_by_phy_address) {
  zend_long ctrl, chan, dev;
  zval* info;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 4, 4)
  Z_PARAM_LONG(ctrl)
  Z_PARAM_LONG(chan)
  Z_PARAM_LONG(dev)
  Z_PARAM_ZVAL(info)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  if (!zvu::AllRefs({info})) RETURN_LONG(kVolmodBadArgs);
  RETURN_LONG(Record<_zr_device_info>(
      info, [&](auto* r) { return zr_get_pd_info_by_phy_address(ctrl, chan, dev, r); },
      [](const _zr_device_info& d) { return DiskFields(d, ZrDiskQuery::kByPhyAddress); }));
}

ZEND_FUNCTION(php_zr_get_pd_info_by_array_pos) {
  zend_long array, pos;
  zval* info;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 3, 3)
  Z_PARAM_LONG(array)
  Z_PARAM_LONG(pos)
  Z_PARAM_ZVAL(info)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  if (!zvu::AllRefs({info})) RETURN_LONG(kVolmodBadArgs);
  RETURN_LONG(Record<_zr_device_info>(
      info, [&](auto* r) { return zr_get_pd_info_by_array_pos(array, pos, r); },
      [](const _zr_device_info& d) { return DiskFields(d, ZrDiskQuery::kByArrayPos); }));
}

ZEND_FUNCTION(php_zr_get_array_num_tarvoii) {
  zend_long selector;
  zval* map;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 2, 2)
  Z_PARAM_LONG(selector)
  Z_PARAM_ZVAL(map)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  if (!zvu::AllRefs({map})) RETURN_LONG(kVolmodBadArgs);
  RETURN_LONG(Record<_Kel_Index_Map>(
      map, [&](auto* r) { return zr_get_array_num_TARVOII(selector, r); }, IndexMapFields));
}

ZEND_FUNCTION(php_zr_get_array_info) {
  zend_long array;
  zval* info;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 2, 2)
  Z_PARAM_LONG(array)
  Z_PARAM_ZVAL(info)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  if (!zvu::AllRefs({info})) RETURN_LONG(kVolmodBadArgs);
  RETURN_LONG(Record<_zr_array_info>(
      info, [&](auto* r) { return zr_get_array_info(array, r); }, ArrayFields));
}

ZEND_FUNCTION(php_zr_get_sorted_array_index) {
  zval *count, *list;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 2, 2)
  Z_PARAM_ZVAL(count)
  Z_PARAM_ZVAL(list)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  if (!zvu::AllRefs({count, list})) RETURN_LONG(kVolmodBadArgs);
  std::vector<unsigned int> indexes;
  const int rc = zvu::Guarded([&] { return zr_get_sorted_array_index(&indexes); });
  if (rc == 0) {
    zvu::SetLong(count, static_cast<zend_long>(indexes.size()));
    zvu::SetIntList(list, indexes);
  }
  RETURN_LONG(rc);
}

ZEND_FUNCTION(php_zr_get_vd_info_by_array_pos) {
  zend_long array, pos;
  zval* info;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 3, 3)
  Z_PARAM_LONG(array)
  Z_PARAM_LONG(pos)
  Z_PARAM_ZVAL(info)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  if (!zvu::AllRefs({info})) RETURN_LONG(kVolmodBadArgs);
  RETURN_LONG(Record<KelVDInfo>(
      info, [&](auto* r) { return zr_get_vd_info_by_array_pos(array, pos, r); }, VdFields));
}

ZEND_FUNCTION(php_zr_get_vd_info_by_pd_logic_index) {
  zend_long disk, slot;
  zval* info;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 3, 3)
  Z_PARAM_LONG(disk)
  Z_PARAM_LONG(slot)
  Z_PARAM_ZVAL(info)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  if (!zvu::AllRefs({info})) RETURN_LONG(kVolmodBadArgs);
  RETURN_LONG(Record<KelVDInfo>(
      info, [&](auto* r) { return zr_get_vd_info_by_pd_logic_index(disk, slot, r); }, VdFields));
}

// The partition names of a disk (`ownerKind` 0) or an array (1), as an indexed list.
ZEND_FUNCTION(php_zr_get_partition_info) {
  zend_long ownerKind;
  HashTable* owner;
  zval* list;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 3, 3)
  Z_PARAM_LONG(ownerKind)
  Z_PARAM_ARRAY_HT(owner)
  Z_PARAM_ZVAL(list)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  if (!zvu::AllRefs({list})) RETURN_LONG(kVolmodBadArgs);
  const _Index_Plus_t ref = zvu::ToIndexPlus(owner);
  _zr_partition_info parts{};
  const int rc = zvu::Guarded([&] { return zr_get_partition_info(ownerKind, &ref, &parts); });
  if (rc == 0) {
    zval names;
    array_init(&names);
    const int n = parts.count < 0 ? 0 : std::min(parts.count, ZR_MAX_PARTITIONS);
    for (int i = 0; i < n; ++i)
      add_next_index_stringl(&names, parts.names[i], strnlen(parts.names[i], sizeof parts.names[i]));
    zvu::SetArray(list, &names);
  }
  RETURN_LONG(rc);
}

ZEND_FUNCTION(php_zr_get_protect_free_info_by_pd) {
  zend_long disk;
  zval* list;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 2, 2)
  Z_PARAM_LONG(disk)
  Z_PARAM_ZVAL(list)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  if (!zvu::AllRefs({list})) RETURN_LONG(kVolmodBadArgs);
  std::vector<ZrFields> areas;
  const int rc = zvu::Guarded([&] {
    std::vector<_zr_protect_free_info_t> found;
    const int r = zr_get_protect_free_info_by_pd(disk, &found);
    for (const auto& a : found) areas.push_back(ProtectedAreaFields(a));
    return r;
  });
  if (rc == 0) SetRecordList(list, areas);
  RETURN_LONG(rc);
}

// The size range (MiB) an array of `level` on the given disks may have. A disk list whose
// element count is not `count`, or holding something other than disk references, is
// refused before anything is sent.
ZEND_FUNCTION(php_zr_get_array_create_info_by_pds) {
  zend_long count, level;
  HashTable* disks;
  bool keepData;
  zval* range;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 5, 5)
  Z_PARAM_LONG(count)
  Z_PARAM_ARRAY_HT(disks)
  Z_PARAM_LONG(level)
  Z_PARAM_BOOL(keepData)
  Z_PARAM_ZVAL(range)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  if (!zvu::AllRefs({range})) RETURN_LONG(kVolmodBadArgs);
  std::vector<_Index_Plus_t> refs;
  if (!zvu::ToIndexPlusList(disks, count, &refs)) RETURN_LONG(kVolmodBadArgs);
  RETURN_LONG(Record<_Array_Create_Info_t>(
      range,
      [&](auto* r) { return zr_get_array_create_info_by_pds(count, refs.data(), level, keepData, r); },
      CreateRangeFields));
}

ZEND_FUNCTION(php_zr_get_pd_smart_status_tarvoii) {
  zval *disk, *status;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 2, 2)
  Z_PARAM_ZVAL(disk)
  Z_PARAM_ZVAL(status)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  if (!zvu::AllRefs({status})) RETURN_LONG(kVolmodBadArgs);
  _Index_Plus_t ref{};
  if (!zvu::ZvalToIndexPlus(disk, &ref)) RETURN_LONG(kVolmodBadArgs);
  unsigned char st = 0;
  const int rc = zvu::Guarded([&] { return zr_get_pd_smart_status_TARVOII(&ref, &st); });
  if (rc == 0) zvu::SetLong(status, st);
  RETURN_LONG(rc);
}

ZEND_FUNCTION(php_zr_exec_smart) { RETURN_LONG(zvu::Guarded([] { return zr_exec_smart(); })); }

namespace {

// The SMART data or threshold page of a disk as an indexed list of its bytes.
template <class Call>
void SmartPage(zend_execute_data* execute_data, zval* return_value, Call call) {
  HashTable* disk;
  zval* data;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 2, 2)
  Z_PARAM_ARRAY_HT(disk)
  Z_PARAM_ZVAL(data)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  if (!zvu::AllRefs({data})) RETURN_LONG(kVolmodBadArgs);
  const _Index_Plus_t ref = zvu::ToIndexPlus(disk);
  std::vector<unsigned char> page;
  const int rc = zvu::Guarded([&] { return call(&ref, &page); });
  if (rc == 0) zvu::SetIntList(data, page);
  RETURN_LONG(rc);
}

}  // namespace

ZEND_FUNCTION(php_zr_exec_smart_read_data) {
  SmartPage(execute_data, return_value, zr_exec_smart_read_data);
}

ZEND_FUNCTION(php_zr_exec_smart_read_threshold) {
  SmartPage(execute_data, return_value, zr_exec_smart_read_threshold);
}
