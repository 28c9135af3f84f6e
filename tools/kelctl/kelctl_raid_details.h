// The readable detail views of one disk and one array: every field of the record as a
// "name: value" line, decoded into words where the field has a meaning.
#ifndef KEL_TOOLS_KELCTL_KELCTL_RAID_DETAILS_H
#define KEL_TOOLS_KELCTL_KELCTL_RAID_DETAILS_H

#include <string>

#include "sharedlib/raid_records.h"

// "disk N" and one indented line per field.
std::string DiskDetails(const _zr_device_info& d);
// "array N" and one indented line per field.
std::string ArrayDetails(const _zr_array_info& a);

// Where a disk sits: "0:1 master", with ", hub port 2" behind a hub.
std::string DiskLocation(const _zr_device_info& d);
// "0x1a2b"
std::string MagicText(unsigned int magic);
// The array's stripe size, or "-" for levels without stripes.
std::string StripeText(const _zr_array_info& a);

#endif
