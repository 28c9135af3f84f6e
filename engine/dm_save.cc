// KelDeviceManage: writing changed configuration areas and telling the operating system.
#include "driver/drv_interface.h"
#include "driver/multi_conf_list.h"
#include "driver/raid_basic_op.h"
#include "driver/ucmd_packet.h"
#include "engine/ctrl_tree.h"
#include "engine/dev_manage.h"
#include "engine/phy_device.h"
#include "engine/vir_device.h"
#include "sharedlib/diag.h"

KelMultiConfNode* KelDeviceManage::UpdatePDsConfSect2PD() {
  KelMultiConfNode* list = nullptr;
  for (KelPhyDevice* pd : m_pPDs) {
    if (pd == nullptr || !pd->IsReadable() || !pd->IsConfigurable() || pd->m_bReadFailed) continue;
    bool changed[MAX_VD_PER_PD] = {};
    if (!KelPrepareAreaForWrite(&pd->m_PDConfigSector, pd->m_PDConfigSectorSaved, changed)) continue;
    for (int slot = 0; slot < MAX_VD_PER_PD; ++slot)
      if (changed[slot])
        if (KelVirDevice* vd = pd->VDInSlot(slot)) vd->m_bChanged = true;
    list = PrePareMultiConfData(pd->CtrlInternalIndex(), pd->DeviceNo(), pd->m_PDConfigSector.b,
                                sizeof(pd->m_PDConfigSector.b), list);
  }
  return list;
}

void KelDeviceManage::RefreshSavedAreas() {
  for (KelPhyDevice* pd : m_pPDs)
    if (pd != nullptr) pd->m_PDConfigSectorSaved = pd->m_PDConfigSector;
}

int KelDeviceManage::SaveConfAndSendNotifyBusChange() {
  KelDrvInterface* drv = Driver();
  if (drv == nullptr || m_pCtrl[0] == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "no controller to save the configuration to\n");
    UpdateDMWithoutLock();
    return ZR_DRIVER_FAILED;
  }
  KelRaidBasicOp op(*drv);
  KelUCmdPacket packet(this, &op);
  packet.StartUcmdPackPro();
  int rc = ZR_OK;

  KelMultiConfNode* list = UpdatePDsConfSect2PD();
  if (list != nullptr) {
    const uint8_t ctrl = static_cast<uint8_t>(m_pCtrl[0]->GetDrvIndex());
    if (op.WriteMultiConfData(ctrl, list, KelMultiConfCount(list), &packet) == 0) {
      KEL_PRINT(ZEP_DBG_ERROR, "writing %d configuration areas failed\n", KelMultiConfCount(list));
      rc = ZR_DRIVER_FAILED;
    }
  }
  // What was meant to be written is the new reference either way: the rebuild below reads
  // back what the disks really hold.
  RefreshSavedAreas();
  KelMultiConfFree(list);

  for (KelSataController* c : m_pCtrl)
    if (c != nullptr && !packet.UCmdNotifyOsBusChangedEx(static_cast<uint8_t>(c->GetDrvIndex()))) {
      KEL_PRINT(ZEP_DBG_ERROR, "bus-changed notice to controller %d failed\n", c->GetDrvIndex());
      rc = ZR_DRIVER_FAILED;
    }
  if (!packet.DeliverUcmdPacket()) rc = ZR_DRIVER_FAILED;
  packet.EndUcmdPackPro();
  UpdateDMWithoutLock();
  return rc;
}

int KelDeviceManage::SendNotifyBusChange(int ctrlIndex) {
  KelDrvInterface* drv = Driver();
  KelSataController* c = Ctrl(ctrlIndex);
  if (drv == nullptr || c == nullptr) return ZR_DRIVER_FAILED;
  KelRaidBasicOp op(*drv);
  KelUCmdPacket packet(this, &op);
  packet.StartUcmdPackPro();
  int rc = packet.UCmdNotifyOsBusChangedEx(static_cast<uint8_t>(c->GetDrvIndex())) &&
                   packet.DeliverUcmdPacket()
               ? ZR_OK
               : ZR_DRIVER_FAILED;
  packet.EndUcmdPackPro();
  return rc;
}
