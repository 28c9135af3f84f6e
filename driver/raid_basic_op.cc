// The data-moving sub-commands: synchronisation, migration, last user data, replacement,
// dirty flags, raw writes, SMART, logical targets, bus changes and the hot-plug query.
#include "driver/raid_basic_op.h"

#include <cstring>
#include <vector>

#include "driver/drv_le.h"
#include "driver/ucmd_packet.h"
#include "sharedlib/diag.h"

int KelRaidBasicOp::Exec(uint8_t ctrl, uint8_t sub, uint32_t paramLen, const void* in,
                         size_t inLen, size_t inOff, void* out, size_t outLen, size_t outOff,
                         int attempts) {
  KelUcmdBuffer buf;
  if (!buf.Build(sub, paramLen)) return 0;
  if (in != nullptr && inLen > 0) memcpy(buf.param() + inOff, in, inLen);
  if (!m_drv.SendUcmd(ctrl, buf, attempts)) return 0;
  if (out != nullptr && outLen > 0) memcpy(out, buf.param() + outOff, outLen);
  return 1;
}

int KelRaidBasicOp::SyncMirrorRBOP(uint8_t ctrl, const _SYNC_RAID_IOBUFFER* io) {
  return Exec(ctrl, KEL_UCMD_SYNC, sizeof(*io), io, sizeof(*io), 0, nullptr, 0, 0);
}

int KelRaidBasicOp::SyncRaid5RBOP(uint8_t ctrl, const _SYNC_RAID_IOBUFFER* io) {
  return Exec(ctrl, KEL_UCMD_SYNC, sizeof(*io), io, sizeof(*io), 0, nullptr, 0, 0);
}

int KelRaidBasicOp::SyncSaveAddrRBOP(uint8_t ctrl, const _SYNC_SAVESTARTADDR_IOBUFFER* io) {
  return Exec(ctrl, KEL_UCMD_SYNC_SAVE, sizeof(*io), io, sizeof(*io), 0, nullptr, 0, 0);
}

int KelRaidBasicOp::MigrateArrayRBOP(uint8_t ctrl, const _MIGRATE_RAID_IOBUFFER* io) {
  return Exec(ctrl, KEL_UCMD_MIGRATE, sizeof(*io), io, sizeof(*io), 0, nullptr, 0, 0);
}

int KelRaidBasicOp::MigrateSaveAddrRBOP(uint8_t ctrl, const _MIGRATE_SAVESTARTADDR_IOBUFFER* io) {
  return Exec(ctrl, KEL_UCMD_MIGRATE_SAVE, sizeof(*io), io, sizeof(*io), 0, nullptr, 0, 0);
}

int KelRaidBasicOp::RecoverLastUserDataRBOP(uint8_t ctrl, uint16_t device,
                                            const _LASTUSERDATA_POS_INFO* pos,
                                            uint64_t position) {
  uint8_t p[26] = {};
  KelStoreLe16(p, device);
  memcpy(p + 2, pos, sizeof(*pos));
  KelStoreLe64(p + 18, position);
  return Exec(ctrl, KEL_UCMD_RECOVER_LAST_DATA, sizeof(p), p, sizeof(p), 0, nullptr, 0, 0);
}

int KelRaidBasicOp::MoveLastUserData(uint8_t ctrl, uint16_t device,
                                     const _LASTUSERDATA_POS_INFO* source,
                                     const _LASTUSERDATA_POS_INFO* target) {
  uint8_t p[34] = {};
  KelStoreLe16(p, device);
  memcpy(p + 2, source, sizeof(*source));
  memcpy(p + 18, target, sizeof(*target));
  return Exec(ctrl, KEL_UCMD_MOVE_LAST_DATA, sizeof(p), p, sizeof(p), 0, nullptr, 0, 0);
}

int KelRaidBasicOp::ReplaceVDRBOP(uint8_t ctrl, uint8_t srcInternal, uint16_t srcDevice,
                                  uint8_t srcVd, uint8_t tgtInternal, uint16_t tgtDevice,
                                  uint8_t tgtVd, uint64_t start, uint32_t count) {
  uint8_t p[26] = {};
  p[0] = srcInternal;
  KelStoreLe16(p + 2, srcDevice);
  p[4] = srcVd;
  p[5] = tgtInternal;
  KelStoreLe16(p + 7, tgtDevice);
  p[9] = tgtVd;
  KelStoreLe64(p + 10, start);
  KelStoreLe32(p + 18, count);
  return Exec(ctrl, KEL_UCMD_REPLACE, sizeof(p), p, sizeof(p), 0, nullptr, 0, 0);
}

int KelRaidBasicOp::ClearDeviceDirtyFlagRBOP(uint8_t ctrl, uint8_t ctrlInternal, uint16_t device,
                                             uint8_t vdId, uint8_t flag) {
  uint8_t p[6] = {};
  p[0] = ctrlInternal;
  KelStoreLe16(p + 2, device);
  p[4] = vdId;
  p[5] = flag;
  return Exec(ctrl, KEL_UCMD_CLEAR_DIRTY, sizeof(p), p, sizeof(p), 0, nullptr, 0, 0);
}

int KelRaidBasicOp::WriteDeviceDataRBOP(const _DISK_IO_POS_EX* pos, const uint8_t* data,
                                        _DISK_IO_RESULT* result) {
  if (result != nullptr) result->dw64SectorsDone = 0;
  const size_t dataLen = static_cast<size_t>(pos->dw64SectorCount) * HD_SECTOR_SIZE;
  std::vector<uint8_t> p;
  p.resize(24);
  p[0] = pos->byCtlerInternalIndex;
  KelStoreLe16(&p[2], pos->wdDeviceNo);
  KelStoreLe64(&p[8], pos->dw64StartLBA);
  KelStoreLe64(&p[16], pos->dw64SectorCount);
  p.insert(p.end(), data, data + dataLen);
  int ok = Exec(pos->byCtrlIndex, KEL_UCMD_WRITE_DATA, static_cast<uint32_t>(dataLen + 25),
                p.data(), p.size(), 0, nullptr, 0, 0);
  if (ok && result != nullptr) result->dw64SectorsDone = pos->dw64SectorCount;
  return ok;
}

int KelRaidBasicOp::ExecSmartCmdRBOP(uint8_t ctrl, uint8_t ctrlInternal, uint16_t device,
                                     const uint8_t* cmd, uint8_t* data, uint16_t len) {
  uint8_t p[8] = {};
  p[0] = ctrlInternal;
  KelStoreLe16(p + 2, device);
  p[4] = cmd[0];
  KelStoreLe16(p + 6, len);
  return Exec(ctrl, KEL_UCMD_SMART, len + 9u, p, sizeof(p), 0, data, len, 8);
}

int KelRaidBasicOp::KeepLogicTarget(uint8_t ctrl, const _Specify_LUN_Pos_Info* first,
                                    const _Specify_LUN_Pos_Info* second, KelUCmdPacket* packet) {
  uint8_t p[12] = {};
  memcpy(p, first, sizeof(*first));
  memcpy(p + 6, second, sizeof(*second));
  if (packet != nullptr) packet->NoteController(ctrl);
  return Exec(ctrl, KEL_UCMD_KEEP_LOGIC_TARGET, sizeof(p), p, sizeof(p), 0, nullptr, 0, 0);
}

int KelRaidBasicOp::KeepLogicTargetForVD(uint8_t ctrl, uint8_t ctrlInternal, uint16_t device,
                                         uint8_t vdId, KelUCmdPacket* packet) {
  _Specify_LUN_Pos_Info first{}, second{};
  first.SetLunPos(static_cast<uint32_t>(ctrlInternal) | (static_cast<uint32_t>(vdId) << 8));
  first.SetDeviceNo(device);
  return KeepLogicTarget(ctrl, &first, &second, packet);
}

int KelRaidBasicOp::NotifyOsBusChanged(uint8_t ctrl, KelUCmdPacket* packet) {
  uint8_t p[2] = {};
  if (packet != nullptr) packet->NoteController(ctrl);
  return Exec(ctrl, KEL_UCMD_BUS_CHANGED, sizeof(p), p, sizeof(p), 0, nullptr, 0, 0);
}

int KelRaidBasicOp::CheckControllerHotplugInfo(uint8_t ctrl,
                                               _CHECK_CTLER_HOTPLUG_EVENT_IOBUFFER* info) {
  memset(info, 0xFF, sizeof(*info));
  return Exec(ctrl, KEL_UCMD_HOTPLUG, sizeof(*info), info, sizeof(*info), 0, info, sizeof(*info),
              0, 1);
}
