// Chooses what answers the driver layer in this process: the SG_IO pass-through on the
// host's disk nodes, or a simulated controller kept in a folder. The choice is made once,
// on the command line (--sim DIR) or through KEL_SIM_DIR, before the service starts.
#ifndef KEL_SERVICE_CORE_DRIVER_SETUP_H
#define KEL_SERVICE_CORE_DRIVER_SETUP_H

#include <string>

// The simulator folder to use; empty for the real controller. Set before the fork.
void KelSetSimDir(const std::string& dir);
const std::string& KelSimDir();

// Builds the process-wide driver interface over the chosen transport and installs it. On a
// simulator folder it also points the host glue (module list, rmmod, modprobe, reboot,
// driver configuration, mount table) into the folder and creates the stand-ins under
// DIR/host when they are missing, so a driver reload never touches this host.
void KelStartDriver();
// Where device events arrive: empty for the kernel's event socket, else the simulator
// folder's datagram socket, which kelsim writes to.
std::string KelUEventEndpoint();
// Removes and destroys it.
void KelStopDriver();

#endif
