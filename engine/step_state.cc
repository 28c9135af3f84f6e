// Step state: the array key, the chunk arithmetic and the table of running tasks.
#include "engine/step_state.h"

#include <algorithm>
#include <cstring>

#include "engine/raid_array.h"
#include "engine/vir_device.h"

KelArrayKey KelArrayKey::Of(const KelRaidArray& ra) {
  KelArrayKey k;
  k.raidType = ra.m_byRaidType;
  if (const KelVirDevice* vd = ra.FirstVD(); vd != nullptr && vd->Block() != nullptr)
    k.mark = vd->Block()->ArrayMark();
  std::memcpy(k.ids, ra.m_dwVDGUID, sizeof k.ids);
  if (ra.m_byRaidType == KEL_RAID_1) {
    const uint32_t a = std::min(k.ids[0], k.ids[1]);
    const uint32_t b = std::max(k.ids[0], k.ids[1]);
    std::memset(k.ids, 0, sizeof k.ids);
    k.ids[0] = a;
    k.ids[1] = b;
  }
  return k;
}

bool KelArrayKey::operator==(const KelArrayKey& o) const {
  return raidType == o.raidType && mark == o.mark && std::memcmp(ids, o.ids, sizeof ids) == 0;
}

uint64_t KelStepChunk(uint64_t cur, uint64_t total, uint32_t unitsPerChunk) {
  if (cur >= total) return 0;
  return std::min<uint64_t>(unitsPerChunk == 0 ? 1 : unitsPerChunk, total - cur);
}

uint16_t KelStepPercent(uint64_t cur, uint64_t total) {
  if (total == 0 || cur >= total) return 100;
  return static_cast<uint16_t>(cur * 100 / total);
}

bool KelStepPercentGrows(uint64_t cur, uint64_t count, uint64_t total) {
  return KelStepPercent(cur, total) < KelStepPercent(cur + count, total);
}

KelStepState* KelStepTable::Find(const KelArrayKey& key) {
  for (KelStepState& s : m_entries)
    if (s.key == key) return &s;
  return nullptr;
}

KelStepState* KelStepTable::Put(const KelStepState& st) {
  if (KelStepState* s = Find(st.key)) {
    *s = st;
    return s;
  }
  m_entries.push_back(st);
  return &m_entries.back();
}

void KelStepTable::Erase(const KelArrayKey& key) {
  std::erase_if(m_entries, [&](const KelStepState& s) { return s.key == key; });
}

void KelStepTable::KeepOnly(const std::vector<KelArrayKey>& live) {
  std::erase_if(m_entries, [&](const KelStepState& s) {
    return std::find(live.begin(), live.end(), s.key) == live.end();
  });
}
