// Reading one kernel device event: "ACTION@DEVPATH" followed by KEY=VALUE fields, each ended
// by a zero byte. Pure: the listener hands it the bytes it received, the tests hand it
// messages in the kernel's format.
#ifndef KEL_SERVICE_NOTIFY_KEL_UEVENT_PARSE_H
#define KEL_SERVICE_NOTIFY_KEL_UEVENT_PARSE_H

#include <cstddef>

// The device entry is a 32-byte field; a name that does not fit is refused, never cut,
// since a cut name could name another disk.
inline constexpr size_t KEL_UEVENT_DEVICE_LEN = 32;

enum class KelUEventAction { kNone, kAdd, kRemove };

// Why a message led to nothing; kOk when it names a disk of the controller.
enum class KelUEventVerdict {
  kOk,
  kEmpty,          // no bytes
  kNoHeader,       // the first field is not ACTION@/PATH
  kOtherAction,    // change, move, online, ...: nothing came or went
  kNoDisk,         // no field names a disk or optical drive node
  kNameTooLong,    // the node name does not fit the device entry
  kOtherDevice,    // the device path does not run through the controller's PCI function
};

struct KelUEvent {
  KelUEventAction action = KelUEventAction::kNone;
  char device[KEL_UEVENT_DEVICE_LEN] = {};  // "/dev/sdb", always terminated
};

// Reads `len` bytes of `msg` (no terminator needed; nothing past `len` is read). `pciFun` is
// the controller's PCI function name ("0000:03:00.0"); an empty one matches nothing.
KelUEventVerdict KelParseUEvent(const char* msg, size_t len, const char* pciFun, KelUEvent* out);

#endif
