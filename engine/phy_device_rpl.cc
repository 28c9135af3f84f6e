// KelPhyDevice: the replacement marks a disk carries in its configuration area. The marks
// are what lets an interrupted replacement be found and resumed after a restart, so they
// live on the disk, not in the model.
#include <algorithm>

#include "engine/phy_device.h"
#include "engine/vir_device.h"

namespace {

// PD status bits 4..5 belong to the replacement state and go with it.
constexpr uint8_t kPdRplStatusBits = static_cast<uint8_t>((3u << KEL_PD_STATUS_RPL_SHIFT) | 0x30u);
constexpr uint16_t kVdRplStateBits = static_cast<uint16_t>(3u << KEL_VD_STATE_RPL_SHIFT);

}  // namespace

void KelPhyDevice::UpdatePDConfRPLStatus(uint8_t role, uint64_t position) {
  uint8_t* pd = m_PDConfigSector.Pd();
  pd[pdoff::kStatus] = static_cast<uint8_t>((pd[pdoff::kStatus] & ~kPdRplStatusBits) |
                                            ((role & 3u) << KEL_PD_STATUS_RPL_SHIFT));
  int slots[MAX_VD_PER_PD];
  const int used = KelListUsedSlots(&m_PDConfigSector, slots);
  for (int i = 0; i < used; ++i) {
    _VD_Config_sector_* b = m_PDConfigSector.Vd(slots[i]);
    if (!b->IsValid()) continue;
    b->SetU16(vdoff::kState, static_cast<uint16_t>((b->State() & ~kVdRplStateBits) |
                                                   ((role & 3u) << KEL_VD_STATE_RPL_SHIFT)));
    const uint8_t flags = b->Flags();
    b->SetU8(vdoff::kFlags, role != KEL_RPL_NONE ? (flags | KEL_VD_FLAG_REPLACE)
                                                 : (flags & ~KEL_VD_FLAG_REPLACE));
  }
  SetPDRPLStartLBA(position);
  m_byRplRole = role;
}

void KelPhyDevice::SetPDRPLStartLBA(uint64_t position) {
  KelStoreLe64(m_PDConfigSector.Pd() + pdoff::kRplPos, position);
  int slots[MAX_VD_PER_PD];
  const int used = KelListUsedSlots(&m_PDConfigSector, slots);
  for (int i = 0; i < used; ++i)
    if (_VD_Config_sector_* b = m_PDConfigSector.Vd(slots[i]); b->IsValid())
      b->SetU64(vdoff::kRplPos, position);
}

void KelPhyDevice::ClearPDRPLStatus() { UpdatePDConfRPLStatus(KEL_RPL_NONE, 0); }

uint64_t KelPhyDevice::LastVDEnd() const {
  uint64_t end = 0;
  for (int i = 0; i < m_nVDNum; ++i)
    if (const KelVirDevice* vd = m_pVDDev[i]; vd != nullptr)
      end = std::max(end, vd->m_dw64StartSector + vd->m_dw64SectorLength);
  return end;
}
