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
#include "engine/create_array.h"
#include "engine/engine_defs.h"
#include "engine/replace_pd.h"
#include "engine/step_state.h"
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
struct KelPartitionWipe;
class KelDeviceManage;

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

  // --- removal, spares and repairs (write lock) ---
  // Each validates completely before changing anything, saves with
  // SaveConfAndSendNotifyBusChange (its 900 is returned) and leaves the model rebuilt.
  // Removes n arrays; results[i] receives arrays[i]'s code: 200 bad index, empty slot or
  // plain disk, 216 stale magic, 219 the array holds the system, else the removal's code.
  // Returns 217 when some entry failed. A failure of the whole call (107 lock, 200 an index
  // named twice, 201 bad arguments, 900 save) is written into every results[i], i < n.
  int RemoveArraysL(int n, const _Index_Plus_t* arrays, int* results) EXCLUDES(this);
  int AddMirrorSpareL(_Index_Plus_t array, _Index_Plus_t pd) EXCLUDES(this);
  int RemoveMirrorSpareL(_Index_Plus_t array) EXCLUDES(this);
  int RepairMirrorWithSpareL(_Index_Plus_t array) EXCLUDES(this);
  int RepairMirrorWithNewPDL(_Index_Plus_t array, _Index_Plus_t pd) EXCLUDES(this);
  int RepairRaid5WithNewPDL(_Index_Plus_t array, _Index_Plus_t pd) EXCLUDES(this);
  int RepairRaid01WithNewPDL(_Index_Plus_t array, int n, const _Index_Plus_t* pds) EXCLUDES(this);
  // Wipes the whole configuration area of n (at most 16) disks, which become plain disks.
  // Nothing is written unless every disk passes: 200 bad index or empty slot, 216 stale
  // magic, 201 a disk named twice, 218 a disk holds the system, 215 a disk is in a
  // replacement or a background task runs on one of its arrays.
  int ClearPDConfSect(int n, const _Index_Plus_t* pds) EXCLUDES(this);
  // The checks a repair with new disks makes before anything is written.
  int RepairRaid5ValidateParam(_Index_Plus_t array, _Index_Plus_t pd) const REQUIRES_SHARED(this);
  int RepairRaid01ValidatePram(_Index_Plus_t array, int n, const _Index_Plus_t* pds) const
      REQUIRES_SHARED(this);
  // The host's block-device name of an array or a disk into `name` (`size` bytes); 200 when
  // the index is out of range, the slot empty, or the host shows none.
  int GetRAInodeNameL(int array, char* name, int size) EXCLUDES(this);
  int GetPDInodeNameL(int pd, char* name, int size) EXCLUDES(this);
  // Resolves an array reference for a change: 200 bad index or empty slot, 216 stale magic.
  int LookupRA(_Index_Plus_t ref, KelRaidArray** ra) const REQUIRES_SHARED(this);
  // Resolves a disk offered to take a new member: 200 index above 63, 204 no such disk, 216
  // stale magic, 218 system disk.
  int LookupNewMemberPD(_Index_Plus_t ref, KelPhyDevice** pd) const REQUIRES_SHARED(this);
  // Puts every working area back to its saved copy: a change refused half-way leaves
  // nothing behind for the next save.
  void DiscardAreaChanges() REQUIRES(this);
  // Saves after a change that returned `rc`: a failed change is discarded, a good one saved.
  int FinishChange(int rc) REQUIRES(this);

  // --- background tasks (write lock): one chunk per call ---
  // `pos` receives the sector reached and `percent` the percentage done; a call with
  // neither cancels the running task (its last recorded position stays on the disks).
  // Results: 0 a chunk done; 304 synchronisation finished, 503 migration finished; 300
  // nothing to do, no trusted copy or the driver refused a chunk; 303 / 501 recording
  // progress failed; 502 the driver refused a migration chunk; 200, 216 bad reference;
  // 202 wrong level; 203, 205, 800 a member missing, unreadable or set aside; 215 another
  // task or a replacement holds the array. After any failure the task is no longer
  // running and the next call starts again from the position recorded on the disks.
  int SyncMirrorL(_Index_Plus_t array, uint64_t* pos, uint16_t* percent) EXCLUDES(this);
  int SyncRaid5L(_Index_Plus_t array, uint64_t* pos, uint16_t* percent) EXCLUDES(this);
  // `percent`: four slots, one per mirror pair, all given the same value. `flag` selects
  // the pairs (bit 0 the first, bit 1 the second; 3 both); every selected pair that needs
  // it is synchronised in the same chunk. 201 for a flag other than 1..3.
  int SyncRaid01L(_Index_Plus_t array, uint64_t* pos, uint16_t* percent, uint16_t flag)
      EXCLUDES(this);
  int MigRateArrayL(_Index_Plus_t array, uint64_t* pos, uint16_t* percent) EXCLUDES(this);
  // --- disk replacement (write lock; dm_replace.cc) ---
  // Sets up the copy of disk `src` onto `tgt`: the target gets the source's configuration
  // and both are marked. 0; 504 a replacement exists; 201 index above 31, the same disk or a
  // source without VDs; 200 empty slot; 216 stale magic; 205 a disk unusable; 215 the target
  // is in use or a source's array runs a task; 218 a system target; 208 a target too small;
  // 900 the save failed.
  int ReplacePDCreateReltL(_Index_Plus_t src, _Index_Plus_t tgt) EXCLUDES(this);
  // One chunk of the copy. 0 a chunk done; 508 finished (the target is the member now, the
  // source blank); 505 / 506 a disk does not carry its role; 507 the driver refused a
  // chunk; 900 a save failed; 200, 201, 216 bad reference. A null `percent` stops the copy
  // (the position on the disks stays). After a failure the next call resumes from the disks.
  int ReplacePDDoOnceL(_Index_Plus_t src, _Index_Plus_t tgt, uint16_t* percent) EXCLUDES(this);
  // Cancels a replacement: the target's copied area goes, the source's marks go. An index
  // of 255 names a disk that is not there; 200 when both are.
  int ReplacePDRemoveReltL(_Index_Plus_t src, _Index_Plus_t tgt) EXCLUDES(this);

  // The states of the running tasks (for tests and the info records).
  const KelStepTable& Steps() const REQUIRES_SHARED(this) { return m_steps; }

  // --- array creation (write lock) ---
  // The size range an array of req's level could have on its disks (read lock).
  int CalCreateArraySizeL(const _CREATE_ARRAY_PDS_INFO* req, _Array_Create_Info_t* info)
      EXCLUDES(this);
  // Creates an array from a request (write lock): CreateArrayByPDs.
  int CreateRaidArrayL(const _CREATE_ARRAY_PDS_INFO* req) EXCLUDES(this);
  int CalCreateArraySize(const _CREATE_ARRAY_PDS_INFO* req, _Array_Create_Info_t* info)
      REQUIRES_SHARED(this);
  // Parameter check, per-disk checks and area choice, all before anything is written;
  // then CreateArrayByVDs.
  int CreateArrayByPDs(const _CREATE_ARRAY_PDS_INFO* req) REQUIRES(this);
  // Writes the blocks of a chosen plan into the disks' working areas, moves the first
  // disk's last sectors in keep-data mode, and saves. Once the save has begun, the model is
  // rebuilt from the disks whatever happens.
  int CreateArrayByVDs(const _CREATE_ARRAY_PDS_INFO* req, const KelCreatePlan& plan) REQUIRES(this);
  // What the size rules need to know of the disk a request names.
  void GetCreateDiskView(_Index_Plus_t ref, KelCreateDiskView* view) const REQUIRES_SHARED(this);
  // Every disk's partition-wipe marks as sectors to zero. Taken before a save, because the
  // rebuild that ends the save forgets the marks.
  std::vector<KelPartitionWipe> CollectPartitionWipes() const REQUIRES(this);
  // Zeroes the sectors of a wipe list (sub-command 0x07). 0, or 900 at the first failure.
  int CheckAndClearPartition(const std::vector<KelPartitionWipe>& wipes) REQUIRES(this);
  // Saves; only when the save went through are the marked partition tables wiped, so a
  // failed save destroys nothing. The bus-changed notice is repeated after a wipe so that
  // the operating system reads the emptied tables. 0, or 900.
  int SaveConfAndClearPartition() REQUIRES(this);

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
  // At every build: the arrays on a replacement source are marked as in a replacement, and
  // the disks of a running copy as replacing.
  void RPLCheckStatus() REQUIRES(this);
  // A disk named by a replacement call: 201 index outside 0..31, 200 empty slot, 216 stale
  // magic.
  int RplLookup(_Index_Plus_t ref, KelPhyDevice** pd) const REQUIRES_SHARED(this);
  // Resumes a copy from the disks' roles and recorded position.
  void RplFirstStep(const KelPhyDevice* src, int tgt) REQUIRES(this);
  int RplFinish(uint16_t* percent) REQUIRES(this);
  int RplFail(int code) REQUIRES(this);
  // End of every build: arrays with a running task show it again, tasks whose array is gone
  // are dropped.
  void ApplyStepStates() REQUIRES(this);
  // The task of `key` is over: its state goes and its array shows no task.
  void EndStep(const KelArrayKey& key) REQUIRES(this);
  // The array a step addresses: 200, 216, 202 for a plain disk, 215 when the array runs a
  // task other than `task` or is in a replacement, 900 without a driver.
  int StepLookup(_Index_Plus_t ref, int task, KelRaidArray** ra) REQUIRES(this);
  int SyncStepL(_Index_Plus_t ref, uint8_t raidType, uint16_t mask, uint64_t* pos,
                uint16_t* percent, int slots) EXCLUDES(this);
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
  // Running synchronisations and migrations; outlives every rebuild (see dm_steps.cc).
  KelStepTable m_steps GUARDED_BY(this);
};

#endif
