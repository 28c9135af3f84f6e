// UCMD block and command descriptor block builders.
#include "driver/drv_ucmd.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <utility>

#include "driver/drv_le.h"
#include "sharedlib/diag.h"

size_t KelUcmdRoundToPages(size_t needed, size_t page) {
  return (needed + page - 1) / page * page;
}

KelUcmdBuffer::~KelUcmdBuffer() { free(m_pBuf); }

KelUcmdBuffer::KelUcmdBuffer(KelUcmdBuffer&& other) noexcept
    : m_pBuf(std::exchange(other.m_pBuf, nullptr)), m_nSize(std::exchange(other.m_nSize, 0)) {}

KelUcmdBuffer& KelUcmdBuffer::operator=(KelUcmdBuffer&& other) noexcept {
  if (this != &other) {
    free(m_pBuf);
    m_pBuf = std::exchange(other.m_pBuf, nullptr);
    m_nSize = std::exchange(other.m_nSize, 0);
  }
  return *this;
}

bool KelUcmdBuffer::Build(uint8_t subCmd, uint32_t paramLen) {
  long page = sysconf(_SC_PAGESIZE);
  if (page <= 0) page = 4096;
  size_t size = KelUcmdRoundToPages(KEL_UCMD_HEADER + paramLen + 1, static_cast<size_t>(page));
  void* mem = nullptr;
  if (posix_memalign(&mem, static_cast<size_t>(page), size) != 0) {
    KEL_PRINT(ZEP_DBG_ERROR, "malloc error\n");
    return false;
  }
  free(m_pBuf);
  m_pBuf = static_cast<uint8_t*>(mem);
  m_nSize = size;
  memset(m_pBuf, 0, size);
  KelStoreLe16(m_pBuf + 28, KEL_UCMD_SIGNATURE);
  m_pBuf[30] = subCmd;
  KelStoreLe32(m_pBuf + 32, paramLen);
  return true;
}

uint32_t KelUcmdBuffer::paramLen() const { return m_pBuf ? KelLoadLe32(m_pBuf + 32) : 0; }

uint16_t KelUcmdBuffer::signature() const { return m_pBuf ? KelLoadLe16(m_pBuf + 28) : 0; }

void KelBuildUcmdCdb(uint8_t cdb[KEL_CDB_LEN]) {
  memset(cdb, 0, KEL_CDB_LEN);
  cdb[0] = 0xFF;
  KelStoreLe16(cdb + 1, KEL_UCMD_SIGNATURE);
}

bool KelCheckUcmdSignature(KelUcmdBuffer& buf) {
  if (buf.signature() == KEL_UCMD_SIGNATURE) return true;
  KEL_ASSERT_TEXT("pUCMDIoCtrlBlock->Signature == 0x5A17");
  return false;
}
