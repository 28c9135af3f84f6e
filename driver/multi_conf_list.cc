// Building and releasing the multi-configuration item list.
#include "driver/multi_conf_list.h"

#include <cstring>
#include <new>

#include "sharedlib/diag.h"

KelMultiConfNode* PrePareMultiConfData(uint8_t ctrlInternal, uint16_t device, const uint8_t* data,
                                       uint32_t len, KelMultiConfNode* list) {
  auto* node = new (std::nothrow) KelMultiConfNode;
  if (node == nullptr) {
    KEL_PRINT(ZEP_DBG_ERROR, "malloc error\n");
    return list;
  }
  _Multi_PD_Conf_Item& it = node->item;
  memset(&it, 0, sizeof(it));
  it.SetItemLen(sizeof(_Multi_PD_Conf_Item));
  it.byCtlerInternalIndex = ctrlInternal;
  it.SetDeviceNo(device);
  it.startSector = 0;
  it.numSector = KEL_CONF_SECTORS;
  if (static_cast<uint32_t>(it.numSector) * HD_SECTOR_SIZE != len)
    KEL_ASSERT_TEXT("(DWORD)pRecMultiPDConfItem->numSector*HD_SECTOR_SIZE == wdBufSize");
  memcpy(it.data, data, len < sizeof(it.data) ? len : sizeof(it.data));
  if (list == nullptr) return node;
  KelMultiConfNode* tail = list;
  while (tail->next != nullptr) tail = tail->next;
  tail->next = node;
  return list;
}

int KelMultiConfCount(const KelMultiConfNode* list) {
  int n = 0;
  for (; list != nullptr; list = list->next) ++n;
  return n;
}

void KelMultiConfFree(KelMultiConfNode* list) {
  while (list != nullptr) {
    KelMultiConfNode* next = list->next;
    delete list;
    list = next;
  }
}
