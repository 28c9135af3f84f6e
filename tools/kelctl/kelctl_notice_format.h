// How `kelctl events` and `kelctl discover` print what they receive: one text line or one
// JSON object per notice, and the list of services that answered a discovery. Pure
// formatting; every JSON text of these two commands is built here.
#ifndef KEL_TOOLS_KELCTL_KELCTL_NOTICE_FORMAT_H
#define KEL_TOOLS_KELCTL_KELCTL_NOTICE_FORMAT_H

#include <ctime>
#include <string>
#include <vector>

// One disk of a disk-status notice.
struct KelctlDiskStatus {
  unsigned int disk = 0;
  unsigned int smart = 0;  // 0 healthy, anything else the SMART status the check found
};

// The pairs of a disk-status notice's data (count byte, then pairs). A count larger than
// the data holds yields the pairs that are there.
std::vector<KelctlDiskStatus> DecodeDiskStatusNotice(const unsigned char* data,
                                                     unsigned short len);

// One notice as CheckRaidEvent reported it (kind, data, length), stamped with `when`.
// The readable line and the JSON object both end with a newline. Kinds without a name
// are shown by number.
std::string FormatNoticeLine(int kind, const unsigned char* data, unsigned short len,
                             std::time_t when);
std::string FormatNoticeJson(int kind, const unsigned char* data, unsigned short len,
                             std::time_t when);

// A discovered service.
struct KelctlService {
  std::string address;
  std::string name;
};

// "ADDRESS  NAME" per service, or "(no service answered)"; the JSON form is one object
// {"command":"discover","ok":true,"services":[{"address":..,"name":..},..]}.
std::string FormatServices(const std::vector<KelctlService>& services, bool json);

#endif
