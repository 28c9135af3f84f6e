// The operator's actions on a simulated controller: set it up, attach disks and hubs, pull
// and plug disks, set SMART pages, faults and the root disk, move configuration areas in
// and out. kelsim is a thin command line over these; tests call them directly. Each one is
// a single KelSimFolder transaction, so it is atomic against the service acting on the
// same folder. All return false with `err` set to one line saying what is wrong; none
// prints.
#ifndef KEL_SIM_SIM_OPS_H
#define KEL_SIM_SIM_OPS_H

#include <cstdint>
#include <string>
#include <vector>

#include "sim/sim_folder.h"
#include "sim/sim_state.h"

struct KelSimDiskSpec {
  int channel = 0;
  int side = 0;   // 0 master, 1 slave
  int port = -1;  // hub port 0..3, -1 attached directly
  uint64_t sectors = 0;
  std::string serial;  // "" picks "ZEPSIM" and a number
  std::string model;   // "" keeps the default
  std::string firmware;
};

// A new controller with `channels` usable channels (1..8), all positions empty.
bool KelSimInit(const std::string& dir, int channels, std::string* err);

// Attaches a new disk with a fresh sparse image; `name` receives its node name. Marks a
// hot-plug event.
bool KelSimAddDisk(const KelSimFolder& f, const KelSimDiskSpec& spec, std::string* name,
                   std::string* err);
// `reportedCount` -1 reports the real number of occupied ports; another value is reported
// as it stands, to present a hub whose count and port map disagree.
bool KelSimAddHub(const KelSimFolder& f, int channel, int side, std::string* err,
                  int reportedCount = -1);

// Changes a channel's usability, cable type and whether it has a slave position. Refused
// while a disk or hub sits at a position the change takes away.
bool KelSimSetChannel(const KelSimFolder& f, int channel, bool usable, int cable,
                      bool slaveValid, std::string* err);

// Sets the controller's capability word.
bool KelSimSetCapability(const KelSimFolder& f, uint32_t capability, std::string* err);

// Pulling keeps the disk's name, identity and image; plugging puts it at a free position.
// Both mark a hot-plug event.
bool KelSimUnplug(const KelSimFolder& f, const std::string& disk, std::string* err);
bool KelSimPlug(const KelSimFolder& f, const std::string& disk, int channel, int side,
                int port, std::string* err);

// Sets the return status (when `status` >= 0) and the given attributes (added when new).
bool KelSimSetSmart(const KelSimFolder& f, const std::string& disk, int status,
                    const std::vector<KelSimSmartAttr>& attrs, std::string* err);

// Sub-command `code` fails on `disk` the next `count` times; -1 always, 0 clears.
bool KelSimSetFault(const KelSimFolder& f, const std::string& disk, int code, int count,
                    std::string* err);

// The next multi-area write stops after `areas` areas and the controller then answers
// nothing, as after a power loss, until this is called with -1 (the power is back).
bool KelSimSetPowerLoss(const KelSimFolder& f, int areas, std::string* err);

bool KelSimSetRoot(const KelSimFolder& f, const std::string& disk, std::string* err);

bool KelSimAreaExport(const KelSimFolder& f, const std::string& disk,
                      std::vector<unsigned char>* area, std::string* err);
bool KelSimAreaImport(const KelSimFolder& f, const std::string& disk,
                      const std::vector<unsigned char>& area, std::string* err);

// A consistent copy of the state, for listings.
bool KelSimSnapshot(const KelSimFolder& f, KelSimState* s, std::string* err);

// "1000", "64K", "10M", "2G", "1T" (suffixes are binary byte units) to sectors.
bool KelSimParseSize(const std::string& text, uint64_t* sectors);

#endif
