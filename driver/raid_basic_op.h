// The typed driver sub-commands the engine calls: one method per operation, each building the
// parameter area of its sub-command, sending it through the driver context and copying the
// driver's output back. Every method returns non-zero on success and 0 on failure; the
// caller turns a failure into its own code. Thread-safe as far as the driver context is.
#ifndef KEL_DRIVER_RAID_BASIC_OP_H
#define KEL_DRIVER_RAID_BASIC_OP_H

#include <cstddef>
#include <cstdint>

#include "driver/drv_info_records.h"
#include "driver/drv_interface.h"
#include "driver/drv_io_records.h"
#include "driver/multi_conf_list.h"

class KelUCmdPacket;

// Where a raw disk write goes (host-side, never sent as such).
struct _DISK_IO_POS_EX {
  uint8_t byCtrlIndex;           // controller list index
  uint8_t byCtlerInternalIndex;  // the controller's own index of the disk's port
  uint16_t wdDeviceNo;
  uint64_t dw64StartLBA;
  uint64_t dw64SectorCount;  // the data is dw64SectorCount * 512 bytes
};

struct _DISK_IO_RESULT {
  uint64_t dw64SectorsDone;  // sectors written, 0 on failure
};

class KelRaidBasicOp {
 public:
  explicit KelRaidBasicOp(KelDrvInterface& drv) : m_drv(drv) {}

  KelDrvInterface& Driver() { return m_drv; }

  // Controller, channel, hub and disk identity (sub-commands 0x01..0x04). `hubIndex` is 0 for
  // the master and 1 for the slave side; `position` is 0..7 within the channel.
  int GetIDEControllerInformation(uint8_t ctrl, _Controller_Info* info);
  int GetChannelInformation(uint8_t ctrl, uint8_t channel, _Channel_Info* info);
  int GetDeviceHubInformation(uint8_t ctrl, uint8_t channel, uint8_t hubIndex,
                              _DeviceHub_Info* info);
  int GetDeviceInformation(uint8_t ctrl, uint8_t channel, uint8_t position, _Device_Info* info);

  // The 3072-byte configuration area of a disk (sectors 0..5 of the area). `len` must be
  // 3072; at most `len` bytes are copied.
  int ReadConfigData(uint8_t ctrl, uint8_t ctrlInternal, uint16_t device, uint8_t* buffer,
                     uint32_t len);
  // All `count` items of `items` in one sub-command 0x11.
  int WriteMultiConfData(uint8_t ctrl, const KelMultiConfNode* items, int count,
                         KelUCmdPacket* packet);

  int SyncMirrorRBOP(uint8_t ctrl, const _SYNC_RAID_IOBUFFER* io);
  int SyncRaid5RBOP(uint8_t ctrl, const _SYNC_RAID_IOBUFFER* io);
  int SyncSaveAddrRBOP(uint8_t ctrl, const _SYNC_SAVESTARTADDR_IOBUFFER* io);
  int MigrateArrayRBOP(uint8_t ctrl, const _MIGRATE_RAID_IOBUFFER* io);
  int MigrateSaveAddrRBOP(uint8_t ctrl, const _MIGRATE_SAVESTARTADDR_IOBUFFER* io);
  int RecoverLastUserDataRBOP(uint8_t ctrl, uint16_t device, const _LASTUSERDATA_POS_INFO* pos,
                              uint64_t position);
  int MoveLastUserData(uint8_t ctrl, uint16_t device, const _LASTUSERDATA_POS_INFO* source,
                       const _LASTUSERDATA_POS_INFO* target);
  int ReplaceVDRBOP(uint8_t ctrl, uint8_t srcInternal, uint16_t srcDevice, uint8_t srcVd,
                    uint8_t tgtInternal, uint16_t tgtDevice, uint8_t tgtVd, uint64_t start,
                    uint32_t count);
  int ClearDeviceDirtyFlagRBOP(uint8_t ctrl, uint8_t ctrlInternal, uint16_t device, uint8_t vdId,
                               uint8_t flag);
  // Writes pos->dw64SectorCount sectors of `data` straight to the disk.
  int WriteDeviceDataRBOP(const _DISK_IO_POS_EX* pos, const uint8_t* data,
                          _DISK_IO_RESULT* result);
  // SMART: the feature code is cmd[0]; `len` bytes of output are copied to `data`.
  int ExecSmartCmdRBOP(uint8_t ctrl, uint8_t ctrlInternal, uint16_t device, const uint8_t* cmd,
                       uint8_t* data, uint16_t len);
  int KeepLogicTarget(uint8_t ctrl, const _Specify_LUN_Pos_Info* first,
                      const _Specify_LUN_Pos_Info* second, KelUCmdPacket* packet);
  // Keeps the logical target of one VD: the first position names it, the second is empty.
  int KeepLogicTargetForVD(uint8_t ctrl, uint8_t ctrlInternal, uint16_t device, uint8_t vdId,
                           KelUCmdPacket* packet);
  int NotifyOsBusChanged(uint8_t ctrl, KelUCmdPacket* packet);
  // The record is filled with 0xFF, sent, and overwritten by the driver's answer. One search
  // attempt only: the hot-plug check runs often and must not stall.
  int CheckControllerHotplugInfo(uint8_t ctrl, _CHECK_CTLER_HOTPLUG_EVENT_IOBUFFER* info);
  int QueryRealTargetsRBOP(const char* node, _Real_Targets_Pos_Info* info) {
    return m_drv.QueryRealTargetsRBOP(node, info);
  }
  int CheckSystemDiskRBOP() { return m_drv.CheckSystemDiskRBOP(); }

 private:
  // Builds sub-command `sub` with `paramLen` bytes of parameters, copies `inLen` bytes of `in`
  // to offset `inOff`, sends it, and on success copies `outLen` bytes from offset `outOff`
  // into `out`.
  int Exec(uint8_t ctrl, uint8_t sub, uint32_t paramLen, const void* in, size_t inLen,
           size_t inOff, void* out, size_t outLen, size_t outOff, int attempts = 3);

  KelDrvInterface& m_drv;
};

#endif
