#include "service/raid/vd_info_cvt.h"

#include <cstring>

namespace {

void CopyName(char* to, const char* from, size_t width) {
  const size_t n = strnlen(from, width);
  std::memcpy(to, from, n);
  std::memset(to + n, 0, width - n);
}

}  // namespace

void KelVdInfoCvt(KelVDInfo* wire, _zr_vd_info* engine, int direction) {
  static_assert(sizeof(wire->VDName) == sizeof(engine->VDName));
  if (direction == KEL_VD_CVT_FROM_WIRE) {
    std::memset(engine, 0, sizeof *engine);
    CopyName(engine->VDName, wire->VDName, sizeof engine->VDName);
    engine->status = wire->Status();
    engine->ctrler_index = wire->ctrler_index;
    engine->chan_index = wire->chan_index;
    engine->master = wire->master;
    engine->vd_index_on_pd = wire->vd_index_on_pd;
    engine->pd_index = wire->pd_index;
    engine->index = wire->Index();
    engine->bVDInRaid = wire->bVDInRaid;
    engine->systemVD = wire->systemVD;
    engine->array_position = wire->array_position;
    engine->array_index = wire->array_index;
    engine->Capacity = wire->CapacityValue();
    engine->StartSector = wire->StartSectorValue();
    return;
  }
  CopyName(wire->VDName, engine->VDName, sizeof wire->VDName);
  wire->SetStatus(engine->status);
  wire->ctrler_index = engine->ctrler_index;
  wire->chan_index = engine->chan_index;
  wire->master = static_cast<uint8_t>(engine->master);
  wire->vd_index_on_pd = static_cast<uint8_t>(engine->vd_index_on_pd);
  wire->pd_index = static_cast<uint8_t>(engine->pd_index);
  wire->SetIndex(engine->index);
  wire->bVDInRaid = static_cast<uint8_t>(engine->bVDInRaid);
  wire->systemVD = engine->systemVD;
  wire->array_position = static_cast<uint8_t>(engine->array_position);
  wire->array_index = static_cast<uint8_t>(engine->array_index);
  wire->SetCapacity(engine->Capacity);
  wire->SetStartSector(engine->StartSector);
}
