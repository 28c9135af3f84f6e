#include <string>
#include <vector>

#include "service/engine/zr_facade.h"
#include "service/monitor/disk_status.h"
#include "service/monitor/kel_watchdog_cbs.h"
#include "sharedlib/diag.h"

void KelDiskStatusTimerCb::TimerCallbackFn() {
  _Kel_Index_Map map{};
  if (zr_get_device_num_TARVOII(&map) != 0) return;
  std::vector<KelAbnormalDisk> bad;
  std::vector<std::string> names;
  for (int index : DiskIndexesFromMap(map)) {
    _zr_device_info dev{};
    if (zr_get_device_info(index, &dev) != 0) continue;
    uint8_t status = 0;
    if (zr_get_PD_SMART_status_TARVOII(_Index_Plus_t{index, dev.magicNum, 0}, &status) != 0)
      continue;
    if (status == 0) continue;
    bad.push_back({static_cast<uint8_t>(index), status});
    names.push_back(DiskDisplayName(dev));
  }
  if (bad.empty()) return;
  KEL_PRINT(ZEP_DBG_WARN, "!!!!!!!!Total Disk[%d] is abnormal!!!!!!!!!!!!!\n",
            static_cast<int>(bad.size()));
  for (size_t i = 0; i < bad.size(); ++i) {
    KEL_PRINT(ZEP_DBG_WARN, "!!!!!!!!Disk[%d] is abnormal, status[%d]!!!!!!!!!!!!!\n", bad[i].index,
              bad[i].status);
    KelQueueLogLine(m_pEventLog, "WARNING~Disk " + names[i] + " abnormal!!");
  }
  const std::vector<uint8_t> payload = BuildDiskStatusPayload(bad);
  KelPostSignal(Kel_Signal_DiskStatus, payload.data(), static_cast<int>(payload.size()));
}
