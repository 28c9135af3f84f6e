// SG_IO request builder and success rule.
#include "driver/sgio_request.h"

#include <cstring>

#include "driver/drv_ucmd.h"

void KelBuildSgIoRequest(sg_io_hdr_t* hdr, sg_iovec_t* iov, uint8_t* cdb, uint8_t* buf,
                         size_t len) {
  memset(hdr, 0, sizeof(*hdr));
  iov->iov_base = buf;
  iov->iov_len = len;
  hdr->interface_id = 'S';
  hdr->dxfer_direction = SG_DXFER_TO_FROM_DEV;
  hdr->cmd_len = KEL_CDB_LEN;
  hdr->iovec_count = 1;
  hdr->dxfer_len = static_cast<unsigned int>(len);
  hdr->dxferp = iov;
  hdr->cmdp = cdb;
  hdr->timeout = KEL_SGIO_TIMEOUT_MS;
  hdr->flags = SG_FLAG_DIRECT_IO;
}

bool KelSgIoSucceeded(int ioctlRet, const sg_io_hdr_t& hdr) {
  return ioctlRet >= 0 && hdr.status == 0 && hdr.host_status == 0 && hdr.driver_status == 0;
}
