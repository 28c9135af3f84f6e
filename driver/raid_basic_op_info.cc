// The identity queries (controller, channel, hub, disk) and the configuration area read and
// write.
#include <cstring>

#include "driver/drv_le.h"
#include "driver/raid_basic_op.h"
#include "driver/ucmd_packet.h"
#include "sharedlib/diag.h"

int KelRaidBasicOp::GetIDEControllerInformation(uint8_t ctrl, _Controller_Info* info) {
  return Exec(ctrl, KEL_UCMD_CTLER_INFO, sizeof(*info), nullptr, 0, 0, info, sizeof(*info), 0);
}

int KelRaidBasicOp::GetChannelInformation(uint8_t ctrl, uint8_t channel, _Channel_Info* info) {
  return Exec(ctrl, KEL_UCMD_CHANNEL_INFO, 30, &channel, 1, 0, info, sizeof(*info), 2);
}

int KelRaidBasicOp::GetDeviceHubInformation(uint8_t ctrl, uint8_t channel, uint8_t hubIndex,
                                            _DeviceHub_Info* info) {
  if (hubIndex >= 2) {
    KEL_ASSERT_TEXT("byHubIndex < 2");
    return 0;
  }
  uint8_t p[2] = {channel, hubIndex};
  return Exec(ctrl, KEL_UCMD_DEVHUB_INFO, 60, p, sizeof(p), 0, info, sizeof(*info), 2);
}

int KelRaidBasicOp::GetDeviceInformation(uint8_t ctrl, uint8_t channel, uint8_t position,
                                         _Device_Info* info) {
  uint8_t p[4] = {channel, static_cast<uint8_t>(position / 4), 0, 0};
  KelStoreLe16(p + 2, static_cast<uint16_t>(position & 3));
  return Exec(ctrl, KEL_UCMD_DEVICE_INFO, 230, p, sizeof(p), 0, info, sizeof(*info), 4);
}

int KelRaidBasicOp::ReadConfigData(uint8_t ctrl, uint8_t ctrlInternal, uint16_t device,
                                   uint8_t* buffer, uint32_t len) {
  if (static_cast<uint32_t>(KEL_CONF_SECTORS) * HD_SECTOR_SIZE != len)
    KEL_ASSERT_TEXT("(DWORD)numSector*HD_SECTOR_SIZE == dwToRead");
  uint8_t p[6] = {ctrlInternal, 0, 0, 0, 0, KEL_CONF_SECTORS};
  KelStoreLe16(p + 2, device);
  size_t copy = len < static_cast<uint32_t>(KEL_CONF_BYTES) ? len : KEL_CONF_BYTES;
  return Exec(ctrl, KEL_UCMD_READ_CONF, KEL_CONF_BYTES + 7, p, sizeof(p), 0, buffer, copy, 6);
}

int KelRaidBasicOp::WriteMultiConfData(uint8_t ctrl, const KelMultiConfNode* items, int count,
                                       KelUCmdPacket* packet) {
  if (count <= 0 || count > 255 || KelMultiConfCount(items) < count) {
    KEL_PRINT(ZEP_DBG_ERROR, "WriteMultiConfData: %d items asked, %d in the list\n", count,
              KelMultiConfCount(items));
    return 0;
  }
  const uint32_t paramLen = static_cast<uint32_t>(count) * sizeof(_Multi_PD_Conf_Item) + 3;
  KelUcmdBuffer buf;
  if (!buf.Build(KEL_UCMD_WRITE_MULTI_CONF, paramLen)) return 0;
  buf.param()[0] = static_cast<uint8_t>(count);
  uint8_t* dst = buf.param() + 2;
  for (int i = 0; i < count; ++i, items = items->next, dst += sizeof(_Multi_PD_Conf_Item))
    memcpy(dst, &items->item, sizeof(_Multi_PD_Conf_Item));
  if (packet != nullptr) packet->NoteController(ctrl);
  return Driver().SendUcmd(ctrl, buf) ? 1 : 0;
}
