// KelSimTransport: the simulated controller behind the driver layer's transport seam. It
// lists the folder's dev/ nodes and answers each vendor command sent through one of them
// from the folder's state and disk images, as the kernel driver would.
//
// Faults set on a disk apply to the disk a sub-command addresses (by position for 0x04, by
// device number for 0x07, 0x0C, 0x0E, 0x11 and 0x53) and otherwise to the disk behind the
// node the command is sent through. Every failure prints one diagnostic line.
// Thread-safe: every Send is one folder transaction.
#ifndef KEL_SIM_SIM_TRANSPORT_H
#define KEL_SIM_SIM_TRANSPORT_H

#include <string>
#include <vector>

#include "driver/drv_transport.h"
#include "sim/sim_folder.h"

class KelSimTransport : public KelDrvTransport {
 public:
  explicit KelSimTransport(const std::string& dir) : m_folder(dir) {}

  std::vector<std::string> ListNodes() override;
  KelDrvSendResult Send(const std::string& name, const unsigned char cdb[10], unsigned char* buf,
                        size_t len) override;

 private:
  const KelSimFolder m_folder;  // constant after construction; the folder lock guards the rest
};

#endif
