// KelDeviceManage: the engine's one model of the host's storage. It owns the tables of
// controllers, disks (PDs), virtual devices (VDs) and arrays, hands out their indexes and
// magic numbers, merges every fresh hardware scan into the live model so that indexes and
// magics stay stable while nothing visible changes, keeps the arrays in name order, and
// offers the locked entry points (names ending in L) through which the service reads it.
//
// The manager itself is the model lock (it derives from KelRWLock). Methods without L
// assume the caller holds the write lock; queries take the read side. The annotations say
// so to the lock analysis; the few entry points that the engine's own objects (disks,
// controllers, SMART) call back into are unchecked, see below.
#ifndef KEL_ENGINE_DEV_MANAGE_H
#define KEL_ENGINE_DEV_MANAGE_H

#include <cstdint>
#include <vector>

#include "engine/conf_area.h"
#include "engine/engine_defs.h"
#include "sharedlib/kel_mutex.h"
#include "sharedlib/raid_records.h"

class KelSataController;
class KelPhyDevice;
class KelVirDevice;
class KelRaidArray;
class KelSMART;
class KelRaidBasicOp;
class KelDrvInterface;
struct KelMultiConfNode;
class KelDeviceManage;

// The disk replacement engine. Replacement is not built yet: the manager keeps the object
// so that its lifetime and the recovery call of every rebuild are already in place.
class KelReplacePD {
 public:
  explicit KelReplacePD(KelDeviceManage* dm) : m_pDM(dm) {}
  // Recovers the state of a replacement interrupted by a restart. Nothing to recover yet.
  void RecoverReplacement() {}
  KelDeviceManage* m_pDM;
};

// Assertion-style diagnostic naming the function, for lock failures of the L methods.
#define KEL_DM_ASSERT_TEXT(text)                                                          \
  ZepPrint(ZEP_DBG_ASSERT, "$$$$ File[%s], Function[%s], Line[%d]:  Assersion [%s] failed\n", \
           __FILE__, __func__, __LINE__, text)

class KelDeviceManage : public KelRWLock {
 public:
  KelDeviceManage();
  ~KelDeviceManage() override;
  KelDeviceManage(const KelDeviceManage&) = delete;
  KelDeviceManage& operator=(const KelDeviceManage&) = delete;

  // --- driver access (the process-wide driver context; null when none is installed) ---
  KelDrvInterface* Driver() const;

  // --- slot search and registration (write lock held by the caller) ---
  int GetValidCtrlIndex() const REQUIRES(this);
  int GetValidPDIndex() const REQUIRES(this);
  int GetValidVDIndex() const REQUIRES(this);
  int CalArrayNum() const REQUIRES(this);
  int CalPDNum() const REQUIRES(this);
  // Each returns 1 when registered, 0 when refused (null object or table full).
  int RegisterCtrl(KelSataController* ctrl) REQUIRES(this);
  int RegisterCtrlTmp(KelSataController* ctrl) REQUIRES(this);
  int RegisterPD(KelPhyDevice* pd) REQUIRES(this);
  int RegisterPDTmp(KelPhyDevice* pd) REQUIRES(this);
  int RegisterVD(KelVirDevice* vd) REQUIRES(this);
  int RegisterVDTmp(KelVirDevice* vd) REQUIRES(this);
  int RegisterRA(KelRaidArray* ra) REQUIRES(this);
  int RegisterRATmp(KelRaidArray* ra) REQUIRES(this);

  // --- entry points of the engine's own objects, unchecked ---
  // Disks, controllers and the SMART engine call these through their m_pDM while a
  // manager method holds the model lock; the analysis cannot tie their m_pDM to that
  // manager, so these few are not checked (NO_THREAD_SAFETY_ANALYSIS).
  // Registers into the live tables when bLive, else into the fresh-scan tables.
  int RegisterPDIn(KelPhyDevice* pd, int bLive) NO_THREAD_SAFETY_ANALYSIS {
    return bLive ? RegisterPD(pd) : RegisterPDTmp(pd);
  }
  int RegisterVDIn(KelVirDevice* vd, int bLive) NO_THREAD_SAFETY_ANALYSIS {
    return bLive ? RegisterVD(vd) : RegisterVDTmp(vd);
  }
  int RegisterRAIn(KelRaidArray* ra, int bLive) NO_THREAD_SAFETY_ANALYSIS {
    return bLive ? RegisterRA(ra) : RegisterRATmp(ra);
  }
  // The array of the live (bLive) or fresh table that accepts a VD; plain-disk entries
  // are never joined. Null when none does.
  KelRaidArray* FindArrayForVD(const KelVirDevice* vd, int bLive) const NO_THREAD_SAFETY_ANALYSIS;
  // The device-number counter of a scan.
  int DevNoCounter() const NO_THREAD_SAFETY_ANALYSIS { return m_nDevNoCounter; }
  void AdvanceDevNoCounter(int n) NO_THREAD_SAFETY_ANALYSIS { m_nDevNoCounter += n; }
  KelPhyDevice* PD(int i) const NO_THREAD_SAFETY_ANALYSIS {
    return (i >= 0 && i < MAX_PDS) ? m_pPDs[i] : nullptr;
  }

  // --- building ---
  int InitDML() EXCLUDES(this);    // 1 on success
  // Write lock + UpdateDMWithoutLock: 0; ZR_DRIVER_FAILED when the rebuild failed (the
  // driver did not answer, or the scan failed); ZR_LOCK_FAILED.
  int UpdateDML() EXCLUDES(this);
  // 1 when the model was rebuilt, 0 when the scan failed (live model untouched when the
  // driver did not answer).
  int UpdateDMWithoutLock() REQUIRES(this);
  void SortArraysByName() REQUIRES(this);
  void ResetPDandRAMagicNum() REQUIRES(this);
  void ResetPDHealthFlag() REQUIRES(this);

  // --- table access (write or read lock held) ---
  KelSataController* Ctrl(int i) const REQUIRES_SHARED(this) {
    return (i >= 0 && i < MAX_CONTROLLERS) ? m_pCtrl[i] : nullptr;
  }
  KelVirDevice* VD(int i) const REQUIRES_SHARED(this) {
    return (i >= 0 && i < MAX_VDS) ? m_pVDs[i] : nullptr;
  }
  KelRaidArray* RA(int i) const REQUIRES_SHARED(this) {
    return (i >= 0 && i < MAX_ARRAY_SLOTS) ? m_pRAs[i] : nullptr;
  }
  KelRaidArray* SortedRA(int i) const REQUIRES_SHARED(this) {
    return (i >= 0 && i < MAX_ARRAYS) ? m_pSortedRAs[i] : nullptr;
  }
  int PDNum() const REQUIRES_SHARED(this) { return m_nPDNum; }
  int VDNum() const REQUIRES_SHARED(this) { return m_nVDNum; }
  int RaidArrayNum() const REQUIRES_SHARED(this) { return m_nRaidArrayNum; }
  uint64_t PDMap() const REQUIRES_SHARED(this) { return m_PDMap; }
  uint64_t VDMap() const REQUIRES_SHARED(this) { return m_VDMap; }
  uint64_t RAMap() const REQUIRES_SHARED(this) { return m_RAMap; }
  KelSMART* Smart() const { return m_pKelSMART; }
  KelReplacePD* Replacer() const { return m_pKelRPL; }

  // --- locked queries (read lock; ZR_LOCK_FAILED when it cannot be taken) ---
  int GetCtrlNumL(int* count) EXCLUDES(this);
  int GetPDNumL(_Kel_Index_Map* map) EXCLUDES(this);
  int GetArrayMapL(_Kel_Index_Map* map) EXCLUDES(this);
  int GetSortedArrayIndex(int* count, unsigned char* out) EXCLUDES(this);
  int GetPDMagicNumL(int pd, unsigned short* magic) EXCLUDES(this);
  int GetRAMagicNumL(int array, unsigned short* magic) EXCLUDES(this);
  int GetCtrlInfoL(int ctrl, _zr_controller_info* info) EXCLUDES(this);
  // `chan` is the channel's position among the usable channels.
  int GetChanInfoL(int ctrl, int chan, _zr_channel_info* info) EXCLUDES(this);
  int GetDHInfoL(int ctrl, int chan, int side, _zr_device_hub_info_t* info) EXCLUDES(this);
  int GetPDInfoL(int pd, _zr_device_info* info) EXCLUDES(this);
  // `position` is side × 4 + hub port within the usable channel `chan`.
  int GetPDInfoByPhyAddrL(int ctrl, int chan, int position, _zr_device_info* info) EXCLUDES(this);
  // `pos` 0..15 in the array, or 255 for the disk of a plain-disk entry.
  int GetPDInfoByArrayPosL(int array, int pos, _zr_device_info* info) EXCLUDES(this);
  int GetArrayInfoL(int array, _zr_array_info* info) EXCLUDES(this);
  int GetVDInfoByPDLogicIndexL(int pd, int slot, _zr_vd_info* info) EXCLUDES(this);
  int GetVDInfoByArrayPosL(int array, int pos, _zr_vd_info* info) EXCLUDES(this);
  int GetPDProtectFreeInfoL(int pd, _zr_protect_free_info_t** table) EXCLUDES(this);
  // kind 0: a disk, 1: an array.
  int GetPartInfoL(int kind, _Index_Plus_t ref, _zr_partition_info* info) EXCLUDES(this);
  int GetLIBNeedSMRInfoL(_LIB_Need_SMR_Info_t* info) EXCLUDES(this);
  int GetPDConfSect(_Index_Plus_t pd, _PD_Config_sector_* out) EXCLUDES(this);

  // --- SMART (read lock; the health evaluations take the write lock, they set flags) ---
  int GetPDHeathStatusL(_Index_Plus_t pd, uint8_t* status) EXCLUDES(this);
  int GetPDSMARTReadTHL(_Index_Plus_t pd, uint8_t* page512) EXCLUDES(this);
  int GetPDSMARTReadDataL(_Index_Plus_t pd, uint8_t* page512) EXCLUDES(this);
  int ExecPDSMARTCmdL(_Index_Plus_t pd, uint8_t* cmd, uint8_t* data) EXCLUDES(this);
  // Switches SMART on for every disk, then 803 when any disk's health is not good.
  int GetDMSMARTReturnStatusL() EXCLUDES(this);

  // --- saving (write lock held by the caller) ---
  // Writes every changed configuration area in one command, tells the operating system
  // that the bus changed, and rebuilds the model whatever happened. 0, or 900.
  int SaveConfAndSendNotifyBusChange() REQUIRES(this);
  int SendNotifyBusChange(int ctrlIndex) REQUIRES(this);

 private:
  friend class KelDMTestAccess;

  // The write lock is held by the caller of every method below, but LookupPD, which the
  // queries call under the read lock.
  // `first`: the first build, which starts from empty tables.
  void InitDataBeforeUpdateDM(bool first) REQUIRES(this);
  int ScanHardware(int bLive) REQUIRES(this);
  int ReadPDConfigData(int bLive) REQUIRES(this);
  int BuildVDArray(int bLive) REQUIRES(this);
  void ValidateArrays() REQUIRES(this);
  void ValidateArrayTmps() REQUIRES(this);
  void AnalyzePDFragInfo() REQUIRES(this);
  void MergeCtrlArray() REQUIRES(this);
  void MergePDArray() REQUIRES(this);
  void MergeRAArray() REQUIRES(this);
  void MergeVDArray() REQUIRES(this);
  void RebuildMaps() REQUIRES(this);
  void DestroyAll() REQUIRES(this);
  void DestroyTmp() REQUIRES(this);
  void BuryAll() REQUIRES(this);
  // Drops a fresh disk that found no place in the live table, with its VDs and entries.
  void DropFreshPD(KelPhyDevice* pd) REQUIRES(this);
  // Appends the areas of every changed disk to a write list; returns it (null when none).
  KelMultiConfNode* UpdatePDsConfSect2PD() REQUIRES(this);
  void RefreshSavedAreas() REQUIRES(this);
  // Resolves a disk reference for a query: 200 for a bad index or empty slot, 216 when
  // `checkMagic` and the magic differs.
  int LookupPD(_Index_Plus_t ref, bool checkMagic, KelPhyDevice** pd) const REQUIRES_SHARED(this);

  int m_nCtrlNum = 0;
  // Counts and tables below are guarded by the model lock (this object).
  int m_nPDNum GUARDED_BY(this) = 0;
  int m_nVDNum GUARDED_BY(this) = 0;
  int m_nRaidArrayNum GUARDED_BY(this) = 0;
  KelSataController* m_pCtrl[MAX_CONTROLLERS] GUARDED_BY(this) = {};
  KelPhyDevice* m_pPDs[MAX_PDS] GUARDED_BY(this) = {};
  KelVirDevice* m_pVDs[MAX_VDS] GUARDED_BY(this) = {};
  KelRaidArray* m_pRAs[MAX_ARRAY_SLOTS] GUARDED_BY(this) = {};
  KelRaidArray* m_pSortedRAs[MAX_ARRAYS] GUARDED_BY(this) = {};
  // Fresh-scan tables: filled by a rescan, emptied by the merge.
  KelSataController* m_pCtrlTmp[MAX_CONTROLLERS] GUARDED_BY(this) = {};
  KelPhyDevice* m_pPDsTmp[TMP_MAX_PDS] GUARDED_BY(this) = {};
  KelVirDevice* m_pVDsTmp[TMP_MAX_VDS] GUARDED_BY(this) = {};
  KelRaidArray* m_pRAsTmp[TMP_MAX_ARRAYS] GUARDED_BY(this) = {};
  int m_nDevNoCounter GUARDED_BY(this) = 0;
  uint64_t m_PDMap GUARDED_BY(this) = 0;
  uint64_t m_VDMap GUARDED_BY(this) = 0;
  uint64_t m_RAMap GUARDED_BY(this) = 0;
  KelReplacePD* m_pKelRPL = nullptr;  // built by the first build, kept until destruction
  KelSMART* m_pKelSMART = nullptr;    // the same
  // Objects replaced or gone during a merge. They are destroyed only when all three merges
  // are done, because old arrays and VDs still point at old disks until then.
  std::vector<KelPhyDevice*> m_buriedPDs GUARDED_BY(this);
  std::vector<KelVirDevice*> m_buriedVDs GUARDED_BY(this);
  std::vector<KelRaidArray*> m_buriedRAs GUARDED_BY(this);
};

#endif
