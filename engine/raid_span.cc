// Span: members concatenated in position order; nothing to synchronise or repair.
#include "engine/raid_array.h"
#include "engine/vir_device.h"

int KelRaidSpan::ValidateRaidArray() {
  int ok = ValidateCommon(1, "byArrayVDNum > 0");
  AnalyzeVDArrayStatus();
  return ok;
}

int KelRaidSpan::GetRASyncStatus(unsigned short* s) {
  if (s == nullptr) return ZR_BAD_PARAM;
  *s = KEL_SYNC_NOT_NEEDED;
  return ZR_OK;
}

// Only the part before the first missing member is addressable in order, so the size
// stops there.
void KelRaidSpan::GetArrayInfoLib(_zr_array_info* info) {
  if (info == nullptr) return;
  FillCommonInfo(info);
  uint64_t total = 0;
  for (int slot = 0; slot < ExpectedSlots(); ++slot) {
    const KelVirDevice* vd = m_arVDs[slot];
    if (vd == nullptr || vd->Block() == nullptr) break;
    total += vd->Block()->LengthCopy();
  }
  info->SetCapacity(total);
}
