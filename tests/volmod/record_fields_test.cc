// The records' key lists: every record filled with distinct non-zero bytes, so that a key
// reading the wrong field, a swapped pair or a wrong kind shows in the value or the kind.
#include "webext/volmod/core/record_fields.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A key as expected: its kind ('i' int, 'd' double, 'b' bool, 't' chars, 'u' 64-bit text,
// 'g' the decimal texts of `size` 32-bit words run together) and the record bytes it shows.
struct Key {
  const char* name;
  char kind;
  size_t at, size;
};
// Keys of record type R, which each list names first.
#define KN(name, f, kind) Key{name, #kind[0], offsetof(R, f), sizeof(R::f)}
#define K(f, kind) KN(#f, f, kind)

template <typename T>
T Pattern() {
  T r;
  auto* p = reinterpret_cast<unsigned char*>(&r);
  for (size_t i = 0; i < sizeof r; ++i) p[i] = static_cast<unsigned char>(i % 251 + 1);
  return r;
}

void ExpectFields(const ZrFields& got, const std::vector<Key>& want, const void* record) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    const Key& k = want[i];
    const ZrField& f = got[i];
    SCOPED_TRACE(k.name);
    ASSERT_STREQ(f.key, k.name);
    const char* chars = static_cast<const char*>(record) + k.at;
    uint64_t v = 0;
    for (size_t b = k.size; b-- > 0;) v = v << 8 | static_cast<unsigned char>(chars[b]);
    std::string words;
    for (size_t w = 0; k.kind == 'g' && w < k.size; ++w)
      words += std::to_string(reinterpret_cast<const uint32_t*>(chars)[w]);
    EXPECT_EQ("idbt"[f.kind], k.kind == 'u' || k.kind == 'g' ? 't' : k.kind);
    switch (k.kind) {
      case 'i': EXPECT_EQ(f.i, static_cast<int64_t>(v)); break;
      case 'd': EXPECT_EQ(f.d, static_cast<double>(v)); break;
      case 'b': EXPECT_EQ(f.b, v != 0); break;
      case 't': EXPECT_EQ(f.text, std::string(chars, strnlen(chars, k.size))); break;
      case 'u': EXPECT_EQ(f.text, std::to_string(v)); break;
      case 'g': EXPECT_EQ(f.text, words); break;
    }
  }
}

TEST(RecordFields, EveryListHasItsKeysInOrderWithTheirKindsAndValues) {
  const auto c = Pattern<_zr_controller_info>();
  const auto ch = Pattern<_zr_channel_info>();
  const auto h = Pattern<_zr_device_hub_info_t>();
  auto d = Pattern<_zr_device_info>();
  d.master = 0;  // a false boolean among the true ones
  auto a = Pattern<_zr_array_info>(), full = a, none = a;  // 4 members
  a.arrayName[5] = '\0';  // a name is cut at its zero byte
  full.diskNum = 200;  // no more ids than the record holds
  none.diskNum = 0;
  const auto v = Pattern<KelVDInfo>();
  const auto m = Pattern<_Kel_Index_Map>();
  KelTaskRecord t[6];
  for (int i = 0; i < 6; ++i) (t[i] = Pattern<KelTaskRecord>()).code = static_cast<uint8_t>(i + 1);

  const std::vector<Key> byIndex = [] {
    using R = _zr_device_info;
    return std::vector<Key>{K(serialNumber, t), K(firmwareRevison, t), K(modelName, t),
        K(minorRevisonNumber, t), K(cylinderNumber, d), K(headNumber, d),
        K(sectorNumberPerTrack, d), K(capacityLow, d), K(capacityHigh, d),
        K(supportPIOTransferMode, i), K(supportMultiDMAMode, i), K(supportUltraDMAMode, i),
        K(currentTransferMode, i), K(deviceType, i), K(status, i), K(ctrler_index, i),
        K(chan_index, i), K(master, b), K(index, i), K(systemDisk, i), K(bDevInRaid, i),
        K(array_position, i), K(array_index, i), K(realCapacityLow, i), K(realCapacityHigh, i),
        K(deviceRoot, i), K(PortNum, i), K(VendorAcoustic, i), K(CurrentAcoustic, i),
        K(bytesPerSector, i), K(bInReplacement, b), K(replaceID, i), K(bReplacedSrcPD, b),
        K(freeProtectNum, i), K(bInReplacing, b), K(magicNum, i), K(vdNum, i), K(bConfigTarvo, b),
        K(bSupportNCQ, b), K(byNCQMode, i)};
  }();
  std::vector<Key> other = byIndex;
  other[23].kind = other[24].kind = 'd';
  other[29].name = " bytesPerSector";
  auto array = [](size_t members) {
    using R = _zr_array_info;
    return std::vector<Key>{K(status, i), K(raidType, i), K(diskNum, i), K(capacityLow, d),
        K(capacityHigh, d), K(realCapacityLow, d), K(stripeSize, d), K(blockSize, d),
        K(bNeedMigration, b), K(bNeedInit, b), K(bOptimized, b), K(systemDisk, i),
        K(raid_index, i), K(index, i), K(version, i), K(arrayName, t), K(bInReplacement, b),
        {"GUID", 'g', offsetof(R, GUID), members}, K(nSyncMigReplacing, i), K(magicNum, i)};
  };
  using R = KelTaskRecord;
  const std::vector<Key> arrayTask{KN("uTaskCode", code, i), KN("uOpCode", op, i),
                                   KN("uArrayIndex", first, i), KN("uStatus", state, i),
                                   KN("uProgress", percent, i)};

  const struct {
    const char* list;
    ZrFields got;
    std::vector<Key> want;
    const void* record;
  } cases[] = {
      {"controller", ControllerFields(c), [] { using R = _zr_controller_info;
         return std::vector<Key>{K(deviceID, d), K(chipName, t), K(manufactory, t),
             K(support_PIO, i), K(support_MutiDMA, i), K(support_UltraDMA, i), K(channel_Num, i),
             K(bSupportRaid0Migration, b), K(bSupportRAID5, b), K(bSupportRAID6, b),
             K(index, i)}; }(), &c},
      {"channel", ChannelFields(ch), [] { using R = _zr_channel_info;
         return std::vector<Key>{K(index, d), K(ctrlerIndex, d), K(io_Base, d),
             K(control_Base, d), K(BusMaster_Base, d), K(cableType, i), K(bMaster_Exist, i),
             K(bSlave_Exist, i), K(bSlaveValid, b)}; }(), &ch},
      {"hub", HubFields(h), [] { using R = _zr_device_hub_info_t;
         return std::vector<Key>{K(DeviceHubName, t), K(controllerindex, i), K(channelindex, i),
             K(ismaster, d), K(hubType, d), K(nValidDeviceNum, i), K(deviceVenderID, i),
             K(revisionInfo, i), K(nMaxDeviceNum, i)}; }(), &h},
      {"disk by index", DiskFields(d, ZrDiskQuery::kByIndex), byIndex, &d},
      {"disk by address", DiskFields(d, ZrDiskQuery::kByPhyAddress), other, &d},
      {"disk by position", DiskFields(d, ZrDiskQuery::kByArrayPos), other, &d},
      {"array", ArrayFields(a), array(4), &a},
      {"array of no members", ArrayFields(none), array(0), &none},
      {"array of too many members", ArrayFields(full), array(8), &full},
      {"vd", VdFields(v), [] { using R = KelVDInfo;
         return std::vector<Key>{K(VDName, t), K(status, i), K(ctrler_index, i),
             K(chan_index, i), K(master, b), K(vd_index_on_pd, i), K(pd_index, i), K(index, i),
             K(systemVD, i), K(bVDInRaid, b), K(array_position, i), K(array_index, i),
             K(Capacity, u), K(StartSector, u)}; }(), &v},
      {"map", IndexMapFields(m), [] { using R = _Kel_Index_Map;
         return std::vector<Key>{K(map_High64, u), K(map_Low64, u)}; }(), &m},
      {"task 1", TaskListFields(t[0]), arrayTask, &t[0]},
      {"task 4", TaskListFields(t[3]), arrayTask, &t[3]},
      {"task 5", TaskListFields(t[4]), {KN("uTaskCode", code, i), KN("uOpCode", op, i),
         KN("uSrcPD", first, i), KN("uTgtPD", second, i), KN("uStatus", state, i),
         KN("uProgress", percent, i)}, &t[4]},
      {"task 6", TaskListFields(t[5]), {}, &t[5]},
  };
  for (const auto& one : cases) {
    SCOPED_TRACE(one.list);
    ExpectFields(one.got, one.want, one.record);
  }
}

TEST(RecordFields, NoticeListsOfDiskStatusAndTaskNotices) {
  using L = std::vector<int64_t>;
  const unsigned char status[] = {2, 4, 0, 6, 3};
  auto task = [](unsigned char code) {
    return std::vector<unsigned char>{code, 1, 9, 8, 0, 0, 0, 0, 0, 0, 0, 0, 50, 0, 5, 1};
  };
  const struct { int kind; std::vector<unsigned char> data; unsigned len; L list; } cases[] = {
      {4, {status, status + 5}, 0, {}}, {4, {status, status + 5}, 1, {}},
      {4, {status, status + 5}, 5, {4, 0, 6, 3}}, {5, task(3), 16, {3, 5, 9}},
      {5, task(5), 16, {5, 5, 9, 8}}, {5, task(9), 16, {}}, {5, task(3), 15, {}},
      {3, task(3), 16, {}}};
  for (const auto& [kind, data, len, list] : cases)
    EXPECT_EQ(NoticeList(kind, data.data(), len), list) << kind << ' ' << +data[0] << ' ' << len;
}

// Canonical texts also come back from U64Text.
TEST(RecordFields, SixtyFourBitValuesAsText) {
  const struct { const char* text; uint64_t v; bool canonical; } cases[] = {
      {"0", 0, true}, {"9223372036854775808", uint64_t{1} << 63, true},
      {"18446744073709551615", UINT64_MAX, true}, {"", 0, false}, {"abc", 0, false},
      {" 12", 12, false}, {"12x3", 12, false}, {"18446744073709551616", UINT64_MAX, false},
      {"99999999999999999999999", UINT64_MAX, false}};
  for (const auto& [text, v, canonical] : cases) {
    EXPECT_EQ(TextToU64(text, strlen(text)), v) << text;
    EXPECT_TRUE(!canonical || U64Text(v) == text) << text;
  }
  EXPECT_EQ(TextToU64("123", 2), 12u);  // never past the given length
}

}  // namespace
