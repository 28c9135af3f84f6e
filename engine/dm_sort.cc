// KelDeviceManage: the name order of the arrays in which clients list them.
#include <cstring>

#include "engine/dev_manage.h"
#include "engine/engine_util.h"
#include "engine/raid_array.h"
#include "sharedlib/diag.h"

namespace {

// Case-insensitive comparison of the first 24 characters of two array names.
int CompareNames(const KelRaidArray* a, const KelRaidArray* b) {
  char x[25] = {}, y[25] = {};
  std::memcpy(x, a->m_szName, 24);
  std::memcpy(y, b->m_szName, 24);
  StringLower(x);
  StringLower(y);
  return std::strncmp(x, y, 24);
}

// RAID arrays come first, by name; plain disks keep their slot order after them.
bool MustSwap(const KelRaidArray* first, const KelRaidArray* later) {
  if (first->IsPseudo()) return !later->IsPseudo();
  if (later->IsPseudo()) return false;
  return CompareNames(first, later) > 0;
}

}  // namespace

void KelDeviceManage::SortArraysByName() {
  for (auto*& p : m_pSortedRAs) p = nullptr;
  int nArrayNum = 0;
  for (auto* ra : m_pRAs) {
    if (ra == nullptr) continue;
    if (nArrayNum >= MAX_ARRAYS) {
      KEL_ASSERT_TEXT("nArrayNum <= MAX_ARRAYS");
      break;
    }
    m_pSortedRAs[nArrayNum++] = ra;
  }
  for (int i = 0; i < nArrayNum; ++i)
    for (int j = i + 1; j < nArrayNum; ++j)
      if (MustSwap(m_pSortedRAs[i], m_pSortedRAs[j])) {
        KelRaidArray* t = m_pSortedRAs[i];
        m_pSortedRAs[i] = m_pSortedRAs[j];
        m_pSortedRAs[j] = t;
      }
}

int KelDeviceManage::GetSortedArrayIndex(int* count, unsigned char* out) {
  if (count == nullptr || out == nullptr) return ZR_BAD_PARAM;
  if (!RLock()) {
    KEL_DM_ASSERT_TEXT("RLock()");
    return ZR_LOCK_FAILED;
  }
  int nArrayNum = 0;
  for (int i = 0; i < MAX_ARRAYS; ++i) {
    KelRaidArray* ra = m_pSortedRAs[i];
    out[i] = ra != nullptr ? static_cast<unsigned char>(ra->m_nIndex) : 255;
    if (ra != nullptr) ++nArrayNum;
  }
  *count = nArrayNum;
  if (nArrayNum > MAX_ARRAYS - 1) KEL_ASSERT_TEXT("nArrayNum < MAX_ARRAYS");
  if (nArrayNum != m_nRaidArrayNum) KEL_ASSERT_TEXT("nArrayNum == m_nRaidArrayNum");
  RUnlock();
  return ZR_OK;
}
