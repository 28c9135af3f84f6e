// The one seam between the driver layer and whatever answers its commands: the SG_IO
// pass-through on a real disk node, or the simulated controller. Everything above this
// interface (framing, node search, entry list, typed sub-commands) is the same code in both
// worlds.
#ifndef KEL_DRIVER_DRV_TRANSPORT_H
#define KEL_DRIVER_DRV_TRANSPORT_H

#include <cstddef>
#include <string>
#include <vector>

enum class KelDrvSendResult {
  kOk,         // the command went through and `buf` holds the driver's output
  kNoNode,     // the node could not be opened (it went away)
  kFailed,     // the node answered, but the command failed (ioctl, SCSI, host or driver status)
};

class KelDrvTransport {
 public:
  virtual ~KelDrvTransport() = default;

  // The whole-disk and partition node names (e.g. "sda", "sda1") in the device folder,
  // in directory order; only names, no folder.
  virtual std::vector<std::string> ListNodes() = 0;

  // Detection first opens and closes the nodes sda to sdh so that the kernel has them
  // ready; a simulated controller has nothing to prepare.
  virtual void WakeNodes() {}

  // Sends one vendor command through node `name`: the 10-byte command descriptor block
  // and the page-aligned data buffer of `len` bytes holding the UCMD block, which the
  // driver's output overwrites. Thread-safe: several threads may send at once.
  virtual KelDrvSendResult Send(const std::string& name, const unsigned char cdb[10],
                                unsigned char* buf, size_t len) = 0;
};

#endif
