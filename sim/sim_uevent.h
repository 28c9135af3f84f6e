// Device events of the simulated host. A real host announces a plugged or pulled disk with
// a kernel device event; a service running on a simulator folder listens on the datagram
// socket DIR/uevent instead, and kelsim sends it the same message the kernel would. The
// controller's PCI function appears as an entry of DIR/host/pci-driver, where the host's
// PCI driver folder would list it, so the listener can tell the controller's disks apart.
#ifndef KEL_SIM_SIM_UEVENT_H
#define KEL_SIM_SIM_UEVENT_H

#include <string>

// The simulated controller's PCI function (domain:bus:device.function).
inline constexpr char kSimPciFunction[] = "0000:03:00.0";

inline std::string KelSimUEventPath(const std::string& dir) { return dir + "/uevent"; }
inline std::string KelSimPciDriverDir(const std::string& dir) { return dir + "/host/pci-driver"; }

// Creates DIR/host/pci-driver/<kSimPciFunction> unless it is there. False with `err` filled
// when it cannot be made.
bool KelSimCreatePciFunction(const std::string& dir, std::string* err);

// The kernel's message for a block device event: "ACTION@DEVPATH", then the KEY=VALUE
// fields, each ended by a zero byte. `channel` places the disk under its SCSI target.
std::string KelSimUEventMessage(const std::string& action, const std::string& disk, int channel,
                                unsigned long seqnum);

// Sends `message` as one datagram to DIR/uevent. A folder without a listener is no error:
// true when nothing listens, false (with `err`) only when a listener exists and the
// datagram could not be delivered.
bool KelSimSendUEvent(const std::string& dir, const std::string& message, std::string* err);

#endif
