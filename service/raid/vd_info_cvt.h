// Conversion between the 60-byte VD record of the VD query (KelVDInfo, what the client sends
// and reads back) and the engine's 72-byte _zr_vd_info.
#ifndef KEL_SERVICE_RAID_VD_INFO_CVT_H
#define KEL_SERVICE_RAID_VD_INFO_CVT_H

#include "sharedlib/raid_records.h"

enum KelVdCvtDirection {
  KEL_VD_CVT_TO_WIRE = 0,    // engine record -> wire record
  KEL_VD_CVT_FROM_WIRE = 1,  // wire record -> engine record
};

// From the wire the engine record is rebuilt whole: narrowed fields are zero-extended and
// padding is zero. To the wire only the carried fields are written; bytes 31 and 40..43 keep
// what the client sent. Names are copied up to their first NUL within 24 bytes and the rest
// zero-filled, so a name that fills all 24 bytes is neither cut nor read beyond.
void KelVdInfoCvt(KelVDInfo* wire, _zr_vd_info* engine, int direction);

#endif
