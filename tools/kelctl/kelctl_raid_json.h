// The RAID records as JSON objects: every field under its record name, with its value as
// the service sent it (flags as numbers, magic numbers included, so that scripts can
// address the device or array in later commands). Sector counts split into two 32-bit
// halves are also given whole ("capacity").
#ifndef KEL_TOOLS_KELCTL_KELCTL_RAID_JSON_H
#define KEL_TOOLS_KELCTL_KELCTL_RAID_JSON_H

#include "sharedlib/raid_records.h"
#include "tools/kelctl/json_writer.h"

JsonWriter ControllerJson(const _zr_controller_info& c);
JsonWriter ChannelJson(const _zr_channel_info& c);
JsonWriter HubJson(const _zr_device_hub_info_t& h);
JsonWriter DiskJson(const _zr_device_info& d);
JsonWriter ArrayJson(const _zr_array_info& a);
JsonWriter VdJson(const KelVDInfo& v);
JsonWriter ProtectedAreaJson(const _zr_protect_free_info_t& p);

#endif
