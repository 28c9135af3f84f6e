// KelDeviceManage: the engine's one model of the host's storage. It owns the tables of
// controllers, disks (PDs), virtual devices (VDs) and arrays, hands out their indexes and
// magic numbers, merges every fresh hardware scan into the live model so that indexes and
// magics stay stable while nothing visible changes, keeps the arrays in name order, and
// offers the locked entry points (names ending in L) through which the service reads it.
//
// The manager itself is the model lock (it derives from KelRWLock). Methods without L
// assume the caller holds the write lock; queries take the read side.
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
  int GetValidCtrlIndex() const;
  int GetValidPDIndex() const;
  int GetValidVDIndex() const;
  int CalArrayNum() const;
  int CalPDNum() const;
  // Each returns 1 when registered, 0 when refused (null object or table full).
  int RegisterCtrl(KelSataController* ctrl);
  int RegisterCtrlTmp(KelSataController* ctrl);
  int RegisterPD(KelPhyDevice* pd);
  int RegisterPDTmp(KelPhyDevice* pd);
  int RegisterVD(KelVirDevice* vd);
  int RegisterVDTmp(KelVirDevice* vd);
  int RegisterRA(KelRaidArray* ra);
  int RegisterRATmp(KelRaidArray* ra);
  // Registers into the live tables when bLive, else into the fresh-scan tables.
  int RegisterPDIn(KelPhyDevice* pd, int bLive) { return bLive ? RegisterPD(pd) : RegisterPDTmp(pd); }
  int RegisterVDIn(KelVirDevice* vd, int bLive) { return bLive ? RegisterVD(vd) : RegisterVDTmp(vd); }
  int RegisterRAIn(KelRaidArray* ra, int bLive) { return bLive ? RegisterRA(ra) : RegisterRATmp(ra); }
  // The array of the live (bLive) or fresh table that accepts a VD; plain-disk entries
  // are never joined. Null when none does.
  KelRaidArray* FindArrayForVD(const KelVirDevice* vd, int bLive) const;

  // --- the device-number counter of a scan ---
  int DevNoCounter() const { return m_nDevNoCounter; }
  void AdvanceDevNoCounter(int n) { m_nDevNoCounter += n; }

  // --- building ---
  int InitDML();    // 1 on success
  int UpdateDML();  // write lock + UpdateDMWithoutLock; 0, or ZR_LOCK_FAILED
  // 1 when the model was rebuilt, 0 when the scan failed (live model untouched when the
  // driver did not answer).
  int UpdateDMWithoutLock();
  void SortArraysByName();
  void ResetPDandRAMagicNum();
  void ResetPDHealthFlag();

  // --- table access for the engine's own classes (write or read lock held) ---
  KelSataController* Ctrl(int i) const { return (i >= 0 && i < MAX_CONTROLLERS) ? m_pCtrl[i] : nullptr; }
  KelPhyDevice* PD(int i) const { return (i >= 0 && i < MAX_PDS) ? m_pPDs[i] : nullptr; }
  KelVirDevice* VD(int i) const { return (i >= 0 && i < MAX_VDS) ? m_pVDs[i] : nullptr; }
  KelRaidArray* RA(int i) const { return (i >= 0 && i < MAX_ARRAY_SLOTS) ? m_pRAs[i] : nullptr; }
  KelRaidArray* SortedRA(int i) const { return (i >= 0 && i < MAX_ARRAYS) ? m_pSortedRAs[i] : nullptr; }
  int PDNum() const { return m_nPDNum; }
  int VDNum() const { return m_nVDNum; }
  int RaidArrayNum() const { return m_nRaidArrayNum; }
  uint64_t PDMap() const { return m_PDMap; }
  uint64_t VDMap() const { return m_VDMap; }
  uint64_t RAMap() const { return m_RAMap; }
  KelSMART* Smart() const { return m_pKelSMART; }
  KelReplacePD* Replacer() const { return m_pKelRPL; }

  // --- locked queries (read lock; ZR_LOCK_FAILED when it cannot be taken) ---
  int GetCtrlNumL(int* count);
  int GetPDNumL(_Kel_Index_Map* map);
  int GetArrayMapL(_Kel_Index_Map* map);
  int GetSortedArrayIndex(int* count, unsigned char* out);
  int GetPDMagicNumL(int pd, unsigned short* magic);
  int GetRAMagicNumL(int array, unsigned short* magic);
  int GetCtrlInfoL(int ctrl, _zr_controller_info* info);
  // `chan` is the channel's position among the usable channels.
  int GetChanInfoL(int ctrl, int chan, _zr_channel_info* info);
  int GetDHInfoL(int ctrl, int chan, int side, _zr_device_hub_info_t* info);
  int GetPDInfoL(int pd, _zr_device_info* info);
  // `position` is side × 4 + hub port within the usable channel `chan`.
  int GetPDInfoByPhyAddrL(int ctrl, int chan, int position, _zr_device_info* info);
  // `pos` 0..15 in the array, or 255 for the disk of a plain-disk entry.
  int GetPDInfoByArrayPosL(int array, int pos, _zr_device_info* info);
  int GetArrayInfoL(int array, _zr_array_info* info);
  int GetVDInfoByPDLogicIndexL(int pd, int slot, _zr_vd_info* info);
  int GetVDInfoByArrayPosL(int array, int pos, _zr_vd_info* info);
  int GetPDProtectFreeInfoL(int pd, _zr_protect_free_info_t** table);
  // kind 0: a disk, 1: an array.
  int GetPartInfoL(int kind, _Index_Plus_t ref, _zr_partition_info* info);
  int GetLIBNeedSMRInfoL(_LIB_Need_SMR_Info_t* info);
  int GetPDConfSect(_Index_Plus_t pd, _PD_Config_sector_* out);

  // --- SMART (read lock; the health evaluations take the write lock, they set flags) ---
  int GetPDHeathStatusL(_Index_Plus_t pd, uint8_t* status);
  int GetPDSMARTReadTHL(_Index_Plus_t pd, uint8_t* page512);
  int GetPDSMARTReadDataL(_Index_Plus_t pd, uint8_t* page512);
  int ExecPDSMARTCmdL(_Index_Plus_t pd, uint8_t* cmd, uint8_t* data);
  // Switches SMART on for every disk, then 803 when any disk's health is not good.
  int GetDMSMARTReturnStatusL();

  // --- saving (write lock held by the caller) ---
  // Writes every changed configuration area in one command, tells the operating system
  // that the bus changed, and rebuilds the model whatever happened. 0, or 900.
  int SaveConfAndSendNotifyBusChange();
  int SendNotifyBusChange(int ctrlIndex);

 private:
  friend class KelDMTestAccess;

  // `first`: the first build, which starts from empty tables.
  void InitDataBeforeUpdateDM(bool first);
  int ScanHardware(int bLive);
  int ReadPDConfigData(int bLive);
  int BuildVDArray(int bLive);
  void ValidateArrays();
  void ValidateArrayTmps();
  void AnalyzePDFragInfo();
  void MergeCtrlArray();
  void MergePDArray();
  void MergeRAArray();
  void MergeVDArray();
  void RebuildMaps();
  void DestroyAll();
  void DestroyTmp();
  void BuryAll();
  // Drops a fresh disk that found no place in the live table, with its VDs and entries.
  void DropFreshPD(KelPhyDevice* pd);
  // Appends the areas of every changed disk to a write list; returns it (null when none).
  KelMultiConfNode* UpdatePDsConfSect2PD();
  void RefreshSavedAreas();
  // Resolves a disk reference for a query: 200 for a bad index or empty slot, 216 when
  // `checkMagic` and the magic differs.
  int LookupPD(_Index_Plus_t ref, bool checkMagic, KelPhyDevice** pd) const;

  int m_nCtrlNum = 0;
  // Counts and tables below are guarded by the model lock (this object).
  int m_nPDNum = 0;
  int m_nVDNum = 0;
  int m_nRaidArrayNum = 0;
  KelSataController* m_pCtrl[MAX_CONTROLLERS] = {};
  KelPhyDevice* m_pPDs[MAX_PDS] = {};
  KelVirDevice* m_pVDs[MAX_VDS] = {};
  KelRaidArray* m_pRAs[MAX_ARRAY_SLOTS] = {};
  KelRaidArray* m_pSortedRAs[MAX_ARRAYS] = {};
  // Fresh-scan tables: filled by a rescan, emptied by the merge.
  KelSataController* m_pCtrlTmp[MAX_CONTROLLERS] = {};
  KelPhyDevice* m_pPDsTmp[TMP_MAX_PDS] = {};
  KelVirDevice* m_pVDsTmp[TMP_MAX_VDS] = {};
  KelRaidArray* m_pRAsTmp[TMP_MAX_ARRAYS] = {};
  int m_nDevNoCounter = 0;
  uint64_t m_PDMap = 0;
  uint64_t m_VDMap = 0;
  uint64_t m_RAMap = 0;
  KelReplacePD* m_pKelRPL = nullptr;
  KelSMART* m_pKelSMART = nullptr;
  // Objects replaced or gone during a merge. They are destroyed only when all three merges
  // are done, because old arrays and VDs still point at old disks until then.
  std::vector<KelPhyDevice*> m_buriedPDs;
  std::vector<KelVirDevice*> m_buriedVDs;
  std::vector<KelRaidArray*> m_buriedRAs;
};

#endif
