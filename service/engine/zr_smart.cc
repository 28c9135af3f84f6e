// The engine facade's SMART entries.
#include "engine/dev_manage.h"
#include "service/engine/zr_facade.h"
#include "service/engine/zr_private.h"

int zr_get_PD_SMART_status_TARVOII(_Index_Plus_t pd, uint8_t* status) {
  ZR_CHECK_INIT();
  if (status == nullptr) return ZR_BAD_PARAM;
  // A disk index of 32 would be one past the table.
  ZR_CHECK_RANGE(pd.nIndex, ZR_MAX_DEVICES_INDEX);
  return g_pKelDM.load()->GetPDHeathStatusL(pd, status);
}

int zr_exec_SMART_READ_DATA(_Index_Plus_t pd, uint8_t* page512) {
  ZR_CHECK_INIT();
  if (page512 == nullptr) return ZR_BAD_PARAM;
  ZR_CHECK_RANGE(pd.nIndex, ZR_MAX_DEVICES_INDEX);
  return g_pKelDM.load()->GetPDSMARTReadDataL(pd, page512);
}

int zr_exec_SMART_READ_THRESHOLD(_Index_Plus_t pd, uint8_t* page512) {
  ZR_CHECK_INIT();
  if (page512 == nullptr) return ZR_BAD_PARAM;
  ZR_CHECK_RANGE(pd.nIndex, ZR_MAX_DEVICES_INDEX);
  return g_pKelDM.load()->GetPDSMARTReadTHL(pd, page512);
}

int zr_exec_SMART_cmd(_Index_Plus_t pd, uint8_t* cmd, uint8_t* data) {
  ZR_CHECK_INIT();
  if (cmd == nullptr) return ZR_BAD_PARAM;
  ZR_CHECK_RANGE(pd.nIndex, ZR_MAX_DEVICES_INDEX);
  return g_pKelDM.load()->ExecPDSMARTCmdL(pd, cmd, data);
}

int zr_exec_SMART() {
  ZR_CHECK_INIT();
  return g_pKelDM.load()->GetDMSMARTReturnStatusL();
}
