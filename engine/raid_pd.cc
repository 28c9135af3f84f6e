// KelRaidPD: the entry under which a disk without RAID configuration is listed.
#include "engine/phy_device.h"
#include "engine/raid_array.h"

KelRaidPD::KelRaidPD(KelDeviceManage* dm, KelPhyDevice* pd) : KelRaidArray(dm, KEL_RAID_PD) {
  m_bRaidArray = 0;
  m_byVersion = KEL_FORMAT_PD;
  m_byDiskNum = 1;
  AddPD2arPDs(pd);
}

int KelRaidPD::ValidateRaidArray() {
  status = 0;
  const KelPhyDevice* pd = Disk();
  systemDisk = pd != nullptr ? pd->m_bySystemDisk : 0;
  return 1;
}

int KelRaidPD::GetRASyncStatus(unsigned short* s) {
  if (s == nullptr) return ZR_BAD_PARAM;
  *s = KEL_SYNC_NOT_NEEDED;
  return ZR_OK;
}

// The whole disk is the "array": its capacity is the disk's as the driver reports it.
void KelRaidPD::GetArrayInfoLib(_zr_array_info* info) {
  if (info == nullptr) return;
  FillCommonInfo(info);
  const KelPhyDevice* pd = Disk();
  info->SetCapacity(pd != nullptr ? pd->Capacity() : 0);
}
