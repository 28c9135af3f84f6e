// The device and array queries of the request layer: argument checks, then one query of
// the client library on the module's command connection, the result copied out only when
// the service answered 0.
#include <cstring>

#include "webext/client/client_raid_change.h"
#include "webext/client/client_raid_query.h"
#include "webext/volmod/core/zr_args.h"
#include "webext/volmod/core/zr_request.h"

namespace {

unsigned char Byte(long v) { return static_cast<unsigned char>(v); }

// Runs `call(sock, &record)` on a zeroed record and hands the record over on success.
template <typename T, typename Call>
int FetchInto(T* out, Call&& call) {
  T got{};
  const int ret = ZrExchange([&](int sock) { return call(sock, &got); });
  if (ret == 0) *out = got;
  return ret;
}

// The SMART pages: `read` fills kRaidSmartPageSize bytes.
template <typename Read>
int SmartPage(const char* function, const _Index_Plus_t* disk, std::vector<unsigned char>* page,
              Read read) {
  if (disk == nullptr || page == nullptr) return ZrInvalid(function, "no disk or page");
  std::vector<unsigned char> got(kRaidSmartPageSize, 0);
  const int ret = ZrExchange([&](int sock) { return read(sock, disk, got.data()); });
  if (ret == 0) *page = std::move(got);
  return ret;
}

}  // namespace

int zr_get_controller_num(unsigned int* count) {
  if (count == nullptr) return ZrInvalid(__func__, "no count");
  unsigned char n = 0;
  const int ret = ZrExchange([&](int sock) { return KelGetControllerCount(sock, &n); });
  if (ret == 0) *count = n;
  return ret;
}

int zr_get_controller_info(long index, _zr_controller_info* info) {
  if (!ZrIndexOk(index) || info == nullptr) return ZrInvalid(__func__, "controller index");
  return FetchInto(info, [&](int sock, _zr_controller_info* got) {
    return KelGetControllerInfo(sock, Byte(index), got);
  });
}

int zr_get_channel_info(long ctrl, long chan, _zr_channel_info* info) {
  if (!ZrIndexOk(ctrl) || !ZrIndexOk(chan) || info == nullptr)
    return ZrInvalid(__func__, "channel address");
  return FetchInto(info, [&](int sock, _zr_channel_info* got) {
    return KelGetChannelInfo(sock, Byte(ctrl), Byte(chan), got);
  });
}

int zr_get_device_hub_info(long ctrl, long chan, long hub, _zr_device_hub_info_t* info) {
  if (!ZrIndexOk(ctrl) || !ZrIndexOk(chan) || !ZrIndexOk(hub) || info == nullptr)
    return ZrInvalid(__func__, "hub address");
  return FetchInto(info, [&](int sock, _zr_device_hub_info_t* got) {
    return KelGetHubInfo(sock, Byte(ctrl), Byte(chan), Byte(hub), got);
  });
}

int zr_get_pd_num(_Kel_Index_Map* map) {
  if (map == nullptr) return ZrInvalid(__func__, "no map");
  return FetchInto(map, [](int sock, _Kel_Index_Map* got) { return KelGetDiskMap(sock, got); });
}

int zr_get_pd_info(long disk, _zr_device_info* info) {
  if (!ZrIndexOk(disk) || info == nullptr) return ZrInvalid(__func__, "disk index");
  return FetchInto(info, [&](int sock, _zr_device_info* got) {
    return KelGetDiskInfo(sock, Byte(disk), got);
  });
}

int zr_get_pd_info_by_phy_address(long ctrl, long chan, long dev, _zr_device_info* info) {
  if (!ZrIndexOk(ctrl) || !ZrIndexOk(chan) || !ZrIndexOk(dev) || info == nullptr)
    return ZrInvalid(__func__, "physical address");
  return FetchInto(info, [&](int sock, _zr_device_info* got) {
    return KelGetDiskInfoByPhyAddress(sock, Byte(ctrl), Byte(chan), Byte(dev), got);
  });
}

int zr_get_pd_info_by_array_pos(long array, long pos, _zr_device_info* info) {
  if (!ZrIndexOk(array) || !ZrIndexOk(pos) || info == nullptr)
    return ZrInvalid(__func__, "array position");
  return FetchInto(info, [&](int sock, _zr_device_info* got) {
    return KelGetDiskInfoByArrayPos(sock, Byte(array), Byte(pos), got);
  });
}

int zr_get_array_num_TARVOII(long selector, _Kel_Index_Map* map) {
  if (!ZrIndexOk(selector) || map == nullptr) return ZrInvalid(__func__, "selector");
  return FetchInto(map, [](int sock, _Kel_Index_Map* got) { return KelGetArrayMap(sock, got); });
}

int zr_get_array_info(long array, _zr_array_info* info) {
  if (!ZrIndexOk(array) || info == nullptr) return ZrInvalid(__func__, "array index");
  return FetchInto(info, [&](int sock, _zr_array_info* got) {
    return KelGetArrayInfo(sock, Byte(array), got);
  });
}

int zr_get_sorted_array_index(std::vector<unsigned int>* indexes) {
  if (indexes == nullptr) return ZrInvalid(__func__, "no list");
  unsigned char got[kRaidMaxSortedArrays] = {};
  unsigned int n = 0;
  const int ret = ZrExchange([&](int sock) { return KelGetSortedArrayIndexes(sock, &n, got); });
  if (ret == 0) indexes->assign(got, got + n);
  return ret;
}

int zr_get_vd_info_by_array_pos(long array, long pos, KelVDInfo* info) {
  if (!ZrIndexOk(array) || !ZrIndexOk(pos) || info == nullptr)
    return ZrInvalid(__func__, "array position");
  return FetchInto(info, [&](int sock, KelVDInfo* got) {
    return KelGetVdInfoByArrayPos(sock, Byte(array), Byte(pos), got);
  });
}

int zr_get_vd_info_by_pd_logic_index(long disk, long slot, KelVDInfo* info) {
  if (!ZrIndexOk(disk) || !ZrIndexOk(slot) || info == nullptr)
    return ZrInvalid(__func__, "disk slot");
  return FetchInto(info, [&](int sock, KelVDInfo* got) {
    return KelGetVdInfoByDiskSlot(sock, Byte(disk), Byte(slot), got);
  });
}

int zr_get_partition_info(long ownerKind, const _Index_Plus_t* owner, _zr_partition_info* info) {
  if (!ZrIndexOk(ownerKind) || owner == nullptr || info == nullptr)
    return ZrInvalid(__func__, "owner");
  return FetchInto(info, [&](int sock, _zr_partition_info* got) {
    return KelGetPartitionInfo(sock, Byte(ownerKind), owner, got);
  });
}

int zr_get_protect_free_info_by_pd(long disk, std::vector<_zr_protect_free_info_t>* areas) {
  if (!ZrIndexOk(disk) || areas == nullptr) return ZrInvalid(__func__, "disk index");
  _zr_protect_free_info_t got[kRaidMaxProtectedAreas] = {};
  unsigned int n = 0;
  // Both exchanges under one hold: the disk must still be the one whose record was read.
  const int ret = ZrExchange([&](int sock) {
    _zr_device_info record{};
    const int found = KelGetDiskInfo(sock, Byte(disk), &record);
    if (found != 0) return found;
    return KelGetProtectedAreas(sock, Byte(disk), got, kRaidMaxProtectedAreas, &n);
  });
  if (ret == 0) areas->assign(got, got + n);
  return ret;
}

int zr_get_array_create_info_by_pds(long count, const _Index_Plus_t* disks, long level,
                                    bool keepData, _Array_Create_Info_t* range) {
  if (!ZrFits(count, kRaidMaxCreateDisks)) return ZrTooMuch(__func__, "that many disks");
  if (!ZrFits(level, 0xFF)) return ZrTooMuch(__func__, "that RAID type");
  if ((disks == nullptr && count != 0) || range == nullptr)
    return ZrInvalid(__func__, "no disks or range");
  const unsigned char mode = keepData ? KEL_CREATE_MODE_KEEP_DATA : KEL_CREATE_MODE_EMPTY;
  return FetchInto(range, [&](int sock, _Array_Create_Info_t* got) {
    return KelGetCreateSizeRange(sock, Byte(level), mode, disks,
                                 static_cast<unsigned int>(count), got);
  });
}

int zr_get_pd_smart_status_TARVOII(const _Index_Plus_t* disk, unsigned char* status) {
  if (disk == nullptr || status == nullptr) return ZrInvalid(__func__, "no disk or status");
  return FetchInto(status, [&](int sock, unsigned char* got) {
    return KelSmartStatus(sock, disk, got);
  });
}

int zr_exec_smart() {
  return ZrExchange([](int sock) { return KelSmartCheckAll(sock); });
}

int zr_exec_smart_read_data(const _Index_Plus_t* disk, std::vector<unsigned char>* page) {
  return SmartPage(__func__, disk, page, KelSmartReadValues);
}

int zr_exec_smart_read_threshold(const _Index_Plus_t* disk, std::vector<unsigned char>* page) {
  return SmartPage(__func__, disk, page, KelSmartReadThresholds);
}
