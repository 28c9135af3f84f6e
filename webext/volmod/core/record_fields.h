// What the script functions hand back for each record: its fields as an ordered list of
// keys with typed values, built from the record alone so that key names, order and types
// can be checked without the interpreter. The binding turns each list into an associative
// array as it stands.
#ifndef KEL_WEBEXT_VOLMOD_CORE_RECORD_FIELDS_H
#define KEL_WEBEXT_VOLMOD_CORE_RECORD_FIELDS_H

#include <cstdint>
#include <string>
#include <vector>

#include "sharedlib/raid_records.h"
#include "webext/client/client_task.h"

struct ZrField {
  enum Kind { kInt, kDouble, kBool, kText };
  const char* key;
  Kind kind;
  int64_t i = 0;      // kInt
  double d = 0;       // kDouble
  bool b = false;     // kBool
  std::string text;   // kText (may hold any bytes)
};
using ZrFields = std::vector<ZrField>;

// Which disk query a disk record came from: the query by index reports the real capacity
// as integers and spells "bytesPerSector" plainly; the other two report it as doubles and
// spell the key with a leading blank, as consoles written for them expect.
enum class ZrDiskQuery { kByIndex, kByPhyAddress, kByArrayPos };

ZrFields ControllerFields(const _zr_controller_info& c);
ZrFields ChannelFields(const _zr_channel_info& c);
ZrFields HubFields(const _zr_device_hub_info_t& h);
ZrFields DiskFields(const _zr_device_info& d, ZrDiskQuery query);
ZrFields ArrayFields(const _zr_array_info& a);
ZrFields VdFields(const KelVDInfo& v);
// One entry of the task list: empty for task codes other than 1-5.
ZrFields TaskListFields(const KelTaskRecord& t);
// The two 64-bit maps as "map_High64", "map_Low64" decimal texts.
ZrFields IndexMapFields(const _Kel_Index_Map& m);
// One protected free area: "StartSector", "SectorLengh" as decimal texts.
ZrFields ProtectedAreaFields(const _zr_protect_free_info_t& a);
// A creation's size range: "nMinArraySize", "nMaxArraySize" as decimal texts.
ZrFields CreateRangeFields(const _Array_Create_Info_t& r);

// The list a notice of kind 4 (disk status: the payload bytes after the count byte) or kind
// 5 (task record) becomes; empty for other kinds, for an empty payload and for a task code
// outside 1-5.
std::vector<int64_t> NoticeList(int kind, const unsigned char* data, unsigned int len);

// 64-bit values as unsigned decimal text, and back: leading blanks skipped, digits read
// up to the first non-digit, "" or no digit gives 0, a value above 2^64-1 gives 2^64-1.
std::string U64Text(uint64_t v);
uint64_t TextToU64(const char* text, size_t len);

#endif
