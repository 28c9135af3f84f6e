// Arrays: assembled at every scan from the VDs whose configuration blocks agree. The base
// class holds what every level shares; each level judges its own members (status word,
// synchronisation state, repairability) and sizes itself for the info record. KelRaidPD is
// the pseudo-array under which a disk without RAID configuration is listed.
#ifndef KEL_ENGINE_RAID_ARRAY_H
#define KEL_ENGINE_RAID_ARRAY_H

#include <cstdint>

#include "engine/conf_area.h"
#include "engine/engine_defs.h"

class KelDeviceManage;
class KelPhyDevice;
class KelVirDevice;
struct _PD_Area_Addr_t;

// GetRASyncStatus / GetRAMigStatus results.
constexpr uint16_t KEL_SYNC_NOT_NEEDED = 0;
constexpr uint16_t KEL_SYNC_NOT_POSSIBLE = 1;
constexpr uint16_t KEL_SYNC_POSSIBLE = 2;
constexpr uint16_t KEL_SYNC_RUNNING = 3;

class KelRaidArray {
 public:
  KelRaidArray(KelDeviceManage* dm, uint8_t raidType);
  virtual ~KelRaidArray();
  KelRaidArray(const KelRaidArray&) = delete;
  KelRaidArray& operator=(const KelRaidArray&) = delete;

  // Slot order of the virtual operations matters to nobody outside; keep it as listed.
  virtual void GetArrayInfoLib(_zr_array_info* info) = 0;
  // Checks the members, sets the VDs' status words and recomputes the array status word.
  // Returns 1 when the array is usable as assembled, 0 after a diagnostic otherwise.
  virtual int ValidateRaidArray() = 0;
  virtual int CanbeRepair() = 0;
  virtual int GetRASyncStatus(unsigned short* status) = 0;

  KelDeviceManage* m_pDM;
  uint8_t m_bRaidArray = 1;    // 0 for KelRaidPD
  uint8_t m_byVersion = KEL_FORMAT_CURRENT;
  uint8_t m_byRaidType;
  uint16_t status = 0;         // KEL_RA_STATUS_* bits
  uint8_t systemDisk = 0;      // 1 or 2 after analysis
  uint16_t m_wdMagicNum = 0;
  char m_szName[24] = {};
  uint8_t m_byVDNum = 0;       // VDs present
  uint8_t m_byDiskNum = 0;     // VDs the array should have
  int m_nIndex = -1;           // array table slot
  KelPhyDevice* m_arPDs[MAX_VD_PER_ARRAY] = {};  // distinct member disks
  int m_nPDNum = 0;
  KelVirDevice* m_arVDs[MAX_VD_PER_ARRAY] = {};  // by array position
  uint32_t m_dwVDGUID[MAX_VD_PER_ARRAY] = {};    // member VD ids from the blocks
  bool bInReplacement = false;
  int nSyncMigReplacing = KEL_TASK_NONE;
  bool bNeedMigration = false;

  // Previous values, recorded when a rescan matched this array to a live one; the magic
  // number survives a rescan only when none of them changed.
  bool m_bMatchedOld = false;
  uint16_t m_wdPrevStatus = 0;
  uint8_t m_byPrevVDNum = 0;
  bool m_bPrevNeedMigration = false;
  uint32_t m_dwPrevVDGUID[MAX_VD_PER_ARRAY] = {};

  // Puts the VD at its array position ("arVDs[byVDIndex] == NULL",
  // "byVDIndex <= MAX_VD_PER_ARRAY" checked). False when refused.
  bool AddVD2arVDs(KelVirDevice* vd);
  void AddPD2arPDs(KelPhyDevice* pd);
  bool CheckPDInArray(const KelPhyDevice* pd) const;
  void ClearPDInarPDs(const KelPhyDevice* pd);
  // Whether a VD read from a disk belongs to this array (type, count, member ids, mark).
  bool CheckVDBelongArray(const KelVirDevice* vd) const;
  // Same array across scans: same type and member ids (RAID 1: the first two, either order).
  bool CheckSameArray(const KelRaidArray* other) const;
  void SetArrayName(const uint8_t* name24);
  void SetVDGUID(const uint32_t ids[MAX_VD_PER_ARRAY]);
  // 3 when a migration runs; 0 when none is needed; 1 when a member is missing or status
  // bit 1 is set; else 2.
  int GetRAMigStatus() const;
  // Length of the members' VDs (block byte 180 of the first present VD); 0 when none.
  uint64_t GetArrayVDSize() const;
  // The first present VD, or null.
  KelVirDevice* FirstVD() const;
  // Number of VD slots the level expects (the blocks' VD count; 2 for RAID 1).
  virtual int ExpectedPositions() const { return m_byDiskNum; }
  bool IsPseudo() const { return m_byRaidType == KEL_RAID_PD; }
  // A VD of an expected position is absent or its block no longer marks it valid.
  bool IsMemberMissing(int slot) const;

  // --- removal and repairs (raid_remove.cc, raid_repair.cc); the caller saves ---
  // Takes the array off its disks: a RAID 1 keeps one trustworthy mirror as a single-disk
  // span, every other VD is deleted; an array in the older layout loses its disks' whole
  // area (and, unless RAID 1, their partition data is marked for clearing). 201 for a
  // plain-disk entry, 900 when a block cannot be changed.
  int RemoveMyself();
  // Whether a disk can take a new member of this array: 205 when it is unreadable or its
  // area contradicts itself, 201 when it already holds a member, 208 when no free area holds
  // a VD of the array's length; else 0 with the area filled.
  int FindNewMemberArea(KelPhyDevice* pd, _PD_Area_Addr_t* area) const;

 protected:
  // Puts new VDs (one per `areas` entry, on the disk the area names) into the table slots
  // `slots` as synchronisation targets, with the array's type, count, stripe, level
  // parameter, mark and name; writes the new member list on every member and gives each
  // present member the part `roles` names (KEL_REPAIR_ROLE_*). A VD still sitting in a
  // replaced slot is deleted from its disk. 0; 201 when a new VD id would repeat a member's;
  // 900 when a block cannot be placed or changed.
  int RepairWithNewVDs(int n, const int* slots, const _PD_Area_Addr_t* areas,
                       const int roles[MAX_VD_PER_ARRAY]);
  // The position byte (block byte 112) of table slot `slot`.
  virtual uint8_t PositionByteOf(int slot) const { return static_cast<uint8_t>(slot); }
  // Whether a present member can serve as the copy a rebuild reads.
  bool CanServeAsSource(int slot) const;

  // Recomputes the status word and the system-disk value from the VDs.
  void AnalyzeVDArrayStatus();
  // The fields every level fills alike; capacity and stripe are the level's.
  void FillCommonInfo(_zr_array_info* info) const;
  // First half of every validation: recounts the VDs, takes the expected VD count from the
  // first VD's block, checks it against `minCount` (printing `minText` when it is below),
  // checks that every VD sits at an expected position, and sets the VD status bits that do
  // not depend on the level (disk unusable, block invalid, unfinished sync target) and the
  // migration flag. Returns 1 when the members are consistent, 0 after a diagnostic.
  int ValidateCommon(int minCount, const char* minText);
  // Marks the VDs of a mirror pair (table slots a and b) that need synchronisation.
  void MarkMirrorPairSync(int a, int b);
  int ExpectedSlots() const;
  // The first VD's block, or null.
  const _VD_Config_sector_* FirstBlock() const;
};

class KelRaid0 : public KelRaidArray {
 public:
  explicit KelRaid0(KelDeviceManage* dm) : KelRaidArray(dm, KEL_RAID_0) {}
  void GetArrayInfoLib(_zr_array_info* info) override;
  int ValidateRaidArray() override;
  int CanbeRepair() override { return ZR_NOT_REPAIRABLE; }
  int GetRASyncStatus(unsigned short* s) override;
};

class KelRaid1 : public KelRaidArray {
 public:
  explicit KelRaid1(KelDeviceManage* dm) : KelRaidArray(dm, KEL_RAID_1) {}
  void GetArrayInfoLib(_zr_array_info* info) override;
  int ValidateRaidArray() override;
  int CanbeRepair() override { return ZR_NOT_REPAIRABLE; }
  int GetRASyncStatus(unsigned short* s) override;
  int ExpectedPositions() const override { return 2; }
  bool HasSpare() const { return m_arVDs[2] != nullptr; }

  // 201 unless a two-member mirror, 203 with a member missing, then FindNewMemberArea;
  // adds a VD on the disk as member 3.
  int AddSpare(KelPhyDevice* pd);
  int AddSpareByVDs(const _PD_Area_Addr_t& area);
  // 203 with a member missing, 201 without a spare; the spare's VD is deleted.
  int RemoveSpare();
  // The spare takes the lost mirror's place: 206 without a spare, 400 when the spare or
  // the survivor cannot serve, 401 when nothing is lost.
  int RepairWithSpare();
  // 400 when both mirrors are lost or the survivor cannot serve, 401 when nothing is lost.
  int CanRepairMirror() const;
  // A new VD on `pd` takes the lost mirror's place (CanRepairMirror, FindNewMemberArea).
  int RepairWithNewPD(KelPhyDevice* pd);
  int RepairWithNewVD(const _PD_Area_Addr_t& area);

  // The side value a synchronisation goes by for mirror `slot` (0 or 1): 1 reads as the
  // source, 0 as the target; both 0 or both 1 mean no direction can be trusted. Decided in
  // raid1.cc (SyncSource), never taken from byte 44 alone.
  uint64_t SideValue(int slot) const;

 private:
  // The table slot (0 or 1) of the mirror that survives, or -1.
  int SurvivorSlot() const;
};

class KelRaid5 : public KelRaidArray {
 public:
  explicit KelRaid5(KelDeviceManage* dm) : KelRaidArray(dm, KEL_RAID_5) {}
  void GetArrayInfoLib(_zr_array_info* info) override;
  int ValidateRaidArray() override;
  int CanbeRepair() override;
  int GetRASyncStatus(unsigned short* s) override;
  // A new VD on `pd` takes the missing member's place; every other member becomes a source.
  int RepairWithNewPD(KelPhyDevice* pd);
  int RepairWithNewVD(const _PD_Area_Addr_t& area);
};

class KelRaidSpan : public KelRaidArray {
 public:
  explicit KelRaidSpan(KelDeviceManage* dm) : KelRaidArray(dm, KEL_RAID_SPAN) {}
  void GetArrayInfoLib(_zr_array_info* info) override;
  int ValidateRaidArray() override;
  int CanbeRepair() override { return ZR_NOT_REPAIRABLE; }
  int GetRASyncStatus(unsigned short* s) override;
};

class KelRaid01 : public KelRaidArray {
 public:
  explicit KelRaid01(KelDeviceManage* dm) : KelRaidArray(dm, KEL_RAID_01) {}
  void GetArrayInfoLib(_zr_array_info* info) override;
  int ValidateRaidArray() override;
  int CanbeRepair() override;
  int GetRASyncStatus(unsigned short* s) override;
  // The missing members' table slots in order; returns their number.
  int MissingSlots(int slots[MAX_VD_PER_ARRAY]) const;
  // New VDs on `pds` (one per missing member, in slot order) take the missing members'
  // places; each one's mirror partner becomes its source. 201 unless one disk per missing
  // member.
  int RepairWithNewPDs(int n, KelPhyDevice* const* pds);
  int RepairWithNewVDs(int n, const _PD_Area_Addr_t* areas);

 protected:
  uint8_t PositionByteOf(int slot) const override;
};

// A disk without RAID configuration, listed among the arrays.
class KelRaidPD : public KelRaidArray {
 public:
  KelRaidPD(KelDeviceManage* dm, KelPhyDevice* pd);
  void GetArrayInfoLib(_zr_array_info* info) override;
  // Nothing to judge; takes the disk's system-disk value.
  int ValidateRaidArray() override;
  int CanbeRepair() override { return ZR_NOT_REPAIRABLE; }
  int GetRASyncStatus(unsigned short* s) override;
  KelPhyDevice* Disk() const { return m_arPDs[0]; }
};

// Creates the array class for a RAID type code; null (after "pKelRA") for an unknown one.
KelRaidArray* KelNewRaidArray(KelDeviceManage* dm, uint8_t raidType);

#endif
