// The list of configuration areas collected for one save: one item per disk whose
// configuration changed, all written to the controller in a single sub-command.
#ifndef KEL_DRIVER_MULTI_CONF_LIST_H
#define KEL_DRIVER_MULTI_CONF_LIST_H

#include <cstdint>

#include "driver/drv_io_records.h"

struct KelMultiConfNode {
  _Multi_PD_Conf_Item item;
  KelMultiConfNode* next = nullptr;
};

// Appends an item for (`ctrlInternal`, `device`) holding `data` to the list at `list` and
// returns the list head (the new node when `list` is null). `len` must be 3072; out of
// memory prints "malloc error" and returns `list` unchanged.
KelMultiConfNode* PrePareMultiConfData(uint8_t ctrlInternal, uint16_t device, const uint8_t* data,
                                       uint32_t len, KelMultiConfNode* list);

// Number of items in the list.
int KelMultiConfCount(const KelMultiConfNode* list);

// Releases every node of the list.
void KelMultiConfFree(KelMultiConfNode* list);

#endif
