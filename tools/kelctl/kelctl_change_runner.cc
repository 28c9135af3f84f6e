// kelctl's change commands as sequences of library calls. Every change first reads the
// current magic numbers of what it names (disk and array queries) and quotes them, so the
// service refuses it when something changed in between rather than act on another state.
#include "tools/kelctl/kelctl_change_runner.h"

#include <cstring>

#include "tools/kelctl/kelctl_commands.h"
#include "tools/kelctl/kelctl_change_commands.h"
#include "webext/client/client_raid_change.h"
#include "webext/client/client_raid_query.h"

namespace {

constexpr int kStaleMagic = 2;

struct CodeText {
  int code;
  const char* text;
};

// What an engine code means for a change.
constexpr CodeText kChangeTexts[] = {
    {kStaleMagic, "the array or disk changed since it was read; run the command again"},
    {200, "no such array or disk"},
    {201, "bad request"},
    {202, "wrong level"},
    {203, "member missing"},
    {205, "disk configuration unreadable or contradictory"},
    {206, "no spare"},
    {207, "no free space"},
    {208, "too small"},
    {209, "bad stripe size"},
    {211, "size out of range"},
    {212, "odd disk count for raid01"},
    {213, "too many disks"},
    {214, "too few disks"},
    {215, "disk busy"},
    {216, "stale magic"},
    {217, "some arrays not removed"},
    {218, "disk holds the operating system"},
    {219, "array holds the operating system"},
    {400, "not repairable"},
    {401, "nothing to repair"},
    {900, "configuration write failed"},
};

unsigned char RepairKindFor(unsigned char raidType, bool useSpare) {
  if (raidType == KEL_RAID_1)
    return useSpare ? KEL_REPAIR_MIRROR_WITH_SPARE : KEL_REPAIR_MIRROR_WITH_DISK;
  if (useSpare) return 0;
  if (raidType == KEL_RAID_01) return KEL_REPAIR_RAID01;
  if (raidType == KEL_RAID_5) return KEL_REPAIR_RAID5_WITH_DISK;
  return 0;
}

unsigned char CreateKindFor(unsigned char raidType) {
  switch (raidType) {
    case KEL_RAID_0: return KEL_CREATE_KIND_RAID0;
    case KEL_RAID_1: return KEL_CREATE_KIND_RAID1;
    case KEL_RAID_01: return KEL_CREATE_KIND_RAID01;
    case KEL_RAID_5: return KEL_CREATE_KIND_RAID5;
    default: return KEL_CREATE_KIND_SPAN;
  }
}

class ChangeRun {
 public:
  ChangeRun(int sock, const KelctlOptions& o, KelctlOutcome* out)
      : m_sock(sock), m_o(o), m_out(out), m_c(out->change), m_name(KelctlCommandName(o.command)) {}

  void Run() {
    switch (m_o.command) {
      case KelctlCommand::kCreateSize: SizeRange(); break;
      case KelctlCommand::kCreate: Create(); break;
      case KelctlCommand::kRemove: Remove(); break;
      case KelctlCommand::kSpareAdd: SpareAdd(); break;
      case KelctlCommand::kSpareRemove: SpareRemove(); break;
      case KelctlCommand::kRepair: Repair(); break;
      case KelctlCommand::kClearDisk: ClearDisks(); break;
      default: break;
    }
  }

 private:
  // A failed read of what the command names.
  bool Fail(int code, const std::string& detail) {
    if (code == 0) return true;
    m_out->code = code;
    m_out->stage = detail.empty() ? m_name : m_name + ": " + detail;
    return false;
  }
  // The change itself failed: the message says what the engine code means here.
  bool ChangeFailed(int code) {
    if (code == 0) return true;
    for (const CodeText& t : kChangeTexts)
      if (t.code == code) m_out->message = t.text;
    return Fail(code, "");
  }

  bool DiskRefs(std::vector<_Index_Plus_t>* refs) {
    for (unsigned int d : m_o.disks) {
      _zr_device_info info{};
      if (!Fail(KelGetDiskInfo(m_sock, static_cast<unsigned char>(d), &info),
                "disk " + std::to_string(d)))
        return false;
      refs->push_back(KelMakeRef(d, info.magicNum));
    }
    return true;
  }

  // Every listed array (by index) and RAID array (by name).
  bool ListArrays(std::vector<_zr_array_info>* all) {
    unsigned char indexes[kRaidMaxSortedArrays] = {};
    unsigned int count = 0;
    if (!Fail(KelGetSortedArrayIndexes(m_sock, &count, indexes), "array list")) return false;
    for (unsigned int i = 0; i < count; ++i) {
      _zr_array_info info{};
      if (!Fail(KelGetArrayInfo(m_sock, indexes[i], &info), "array " + std::to_string(indexes[i])))
        return false;
      all->push_back(info);
    }
    return true;
  }

  static bool Named(const _zr_array_info& a, const std::string& name) {
    return strnlen(a.arrayName, sizeof a.arrayName) == name.size() &&
           name.compare(0, name.size(), a.arrayName, name.size()) == 0;
  }

  // The arrays the command names, with their current records; a name must match one
  // listed RAID array.
  bool ArrayRecords(std::vector<_zr_array_info>* records) {
    std::vector<_zr_array_info> all;
    bool listed = false;
    for (const std::string& ref : m_o.arrayRefs) {
      unsigned int index = 0;
      bool byIndex = !ref.empty() && ref.find_first_not_of("0123456789") == std::string::npos &&
                     ref.size() <= 3 && (index = std::stoul(ref)) <= 255;
      _zr_array_info info{};
      if (byIndex) {
        if (!Fail(KelGetArrayInfo(m_sock, static_cast<unsigned char>(index), &info),
                  "array " + ref))
          return false;
      } else {
        if (!listed && !ListArrays(&all)) return false;
        listed = true;
        const _zr_array_info* found = nullptr;
        for (const _zr_array_info& a : all)
          if (a.raidType != KEL_RAID_PD && Named(a, ref)) found = &a;
        if (found == nullptr) return Fail(200, "array '" + ref + "'");
        info = *found;
        index = info.index;
      }
      m_c.arrays.push_back(index);
      records->push_back(info);
    }
    return true;
  }

  void SizeRange() {
    std::vector<_Index_Plus_t> disks;
    if (!DiskRefs(&disks)) return;
    const unsigned char mode = m_o.keepData ? KEL_CREATE_MODE_KEEP_DATA : KEL_CREATE_MODE_EMPTY;
    ChangeFailed(KelGetCreateSizeRange(m_sock, m_o.raidType, mode, disks.data(),
                                       static_cast<unsigned int>(disks.size()), &m_c.range));
  }

  void Create() {
    if (m_o.sizeMiB == 0) {
      SizeRange();
      if (!m_out->ok()) return;
    }
    KelCreateRequest r;
    std::vector<_Index_Plus_t> disks;
    if (!DiskRefs(&disks)) return;
    r.kind = CreateKindFor(m_o.raidType);
    r.mode = m_o.keepData ? KEL_CREATE_MODE_KEEP_DATA : KEL_CREATE_MODE_EMPTY;
    r.diskCount = static_cast<unsigned int>(disks.size());
    std::copy(disks.begin(), disks.end(), r.disks);
    r.sizeMiB = m_c.sizeMiB = m_o.sizeMiB != 0 ? m_o.sizeMiB : m_c.range.nMaxArraySize;
    r.stripeKiB = static_cast<unsigned char>(m_o.stripeKiB);
    r.name = m_o.arrayName.c_str();
    if (!ChangeFailed(KelCreateArray(m_sock, r))) return;
    std::vector<_zr_array_info> all;
    if (!ListArrays(&all)) return;
    for (const _zr_array_info& a : all) {
      if (a.raidType != KEL_RAID_PD && Named(a, m_o.arrayName)) {
        m_c.created = a;
        m_c.createdIndex = a.index;
        return;
      }
    }
    Fail(200, "the new array '" + m_o.arrayName + "' is not listed");
  }

  void Remove() {
    std::vector<_zr_array_info> records;
    if (!ArrayRecords(&records)) return;
    std::vector<_Index_Plus_t> refs;
    for (size_t i = 0; i < records.size(); ++i)
      refs.push_back(KelMakeRef(m_c.arrays[i], records[i].magicNum));
    m_c.results.assign(refs.size(), 0);
    const int code = KelRemoveArrays(m_sock, refs.data(), static_cast<unsigned int>(refs.size()),
                                     m_c.results.data());
    if (code == 217) m_out->raid.showOnFailure = true;  // which ones stayed is worth showing
    if (code != 0 && code != 217) m_c.results.clear();
    ChangeFailed(code);
  }

  // The one array named, and its reference.
  bool OneArray(_zr_array_info* info, _Index_Plus_t* ref) {
    std::vector<_zr_array_info> records;
    if (!ArrayRecords(&records)) return false;
    *info = records.front();
    *ref = KelMakeRef(m_c.arrays.front(), info->magicNum);
    return true;
  }

  void SpareAdd() {
    _zr_array_info info{};
    _Index_Plus_t array{};
    std::vector<_Index_Plus_t> disks;
    if (!OneArray(&info, &array) || !DiskRefs(&disks)) return;
    ChangeFailed(KelAddSpare(m_sock, &array, &disks.front()));
  }

  void SpareRemove() {
    _zr_array_info info{};
    _Index_Plus_t array{};
    if (OneArray(&info, &array)) ChangeFailed(KelRemoveSpare(m_sock, &array));
  }

  void Repair() {
    _zr_array_info info{};
    _Index_Plus_t array{};
    if (!OneArray(&info, &array)) return;
    m_c.repairKind = RepairKindFor(info.raidType, m_o.useSpare);
    if (m_c.repairKind == 0) {
      m_out->message = KelctlLevelName(info.raidType) + (m_o.useSpare
                           ? " arrays are not repaired with a spare"
                           : " arrays cannot be repaired");
      Fail(202, "");
      return;
    }
    if (m_c.repairKind != KEL_REPAIR_RAID01 && !m_o.useSpare && m_o.disks.size() != 1) {
      m_out->message = KelctlLevelName(info.raidType) + " arrays are repaired with one new disk";
      Fail(201, "");
      return;
    }
    std::vector<_Index_Plus_t> disks;
    if (!DiskRefs(&disks)) return;
    ChangeFailed(KelRepairArray(m_sock, m_c.repairKind, &array, disks.data(),
                                static_cast<unsigned int>(disks.size())));
  }

  void ClearDisks() {
    std::vector<_Index_Plus_t> disks;
    if (DiskRefs(&disks))
      ChangeFailed(KelClearDisks(m_sock, disks.data(), static_cast<unsigned int>(disks.size())));
  }

  int m_sock;
  const KelctlOptions& m_o;
  KelctlOutcome* m_out;
  KelctlChangeData& m_c;
  const std::string m_name;
};

}  // namespace

void RunKelctlChangeCommand(int sock, const KelctlOptions& options, KelctlOutcome* outcome) {
  ChangeRun(sock, options, outcome).Run();
}
