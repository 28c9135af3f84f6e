// The real transport: SCSI generic pass-through (SG_IO) on the disk nodes of a device folder.
#ifndef KEL_DRIVER_SGIO_TRANSPORT_H
#define KEL_DRIVER_SGIO_TRANSPORT_H

#include <string>
#include <vector>

#include "driver/drv_transport.h"

class KelSgIoTransport : public KelDrvTransport {
 public:
  explicit KelSgIoTransport(std::string devDir = "/dev") : m_strDevDir(std::move(devDir)) {}

  // Every entry of the device folder that is not a directory (nor "." and ".."), in
  // directory order. An unreadable folder prints one line and yields nothing.
  std::vector<std::string> ListNodes() override;
  // Opens and closes sda..sdh in the device folder, ignoring failures.
  void WakeNodes() override;
  // Opens the node read-write and issues SG_IO with the built request.
  KelDrvSendResult Send(const std::string& name, const unsigned char cdb[10], unsigned char* buf,
                        size_t len) override;

 private:
  const std::string m_strDevDir;
};

#endif
