// The SCSI generic pass-through request that carries one UCMD block to a disk node, and the
// rule that decides whether it went through. Pure: nothing here touches a device.
#ifndef KEL_DRIVER_SGIO_REQUEST_H
#define KEL_DRIVER_SGIO_REQUEST_H

#include <scsi/sg.h>

#include <cstddef>
#include <cstdint>

constexpr unsigned int KEL_SGIO_TIMEOUT_MS = 20000;

// Fills `hdr` for a to-and-from-device transfer of `len` bytes at `buf` through the single
// scatter element `iov`, with the 10-byte `cdb`, a 20-second time-out and direct I/O.
// `iov`, `cdb` and `buf` must outlive the request.
void KelBuildSgIoRequest(sg_io_hdr_t* hdr, sg_iovec_t* iov, uint8_t* cdb, uint8_t* buf,
                         size_t len);

// True only when the ioctl returned 0 or more and the SCSI status, host status and driver
// status are all 0.
bool KelSgIoSucceeded(int ioctlRet, const sg_io_hdr_t& hdr);

#endif
