// The save-and-notify bracket and its bus-changed notice.
#include "driver/ucmd_packet.h"

#include <algorithm>

#include "driver/raid_basic_op.h"
#include "sharedlib/diag.h"

void KelUCmdPacket::StartUcmdPackPro() {
  m_bySeq = 0;
  m_bBatch = false;
  m_ctrlIdx.clear();
  m_queue.clear();
}

void KelUCmdPacket::ReleaseAll() {
  m_queue.clear();
  m_bySeq = 0;
  m_bBatch = false;
  m_ctrlIdx.clear();
}

bool KelUCmdPacket::DeliverUcmdPacket() {
  bool ok = true;
  for (auto& [ctrl, block] : m_queue)
    if (m_pOp == nullptr || !m_pOp->Driver().SendUcmd(ctrl, block)) ok = false;
  m_queue.clear();
  return ok;
}

bool KelUCmdPacket::UCmdNotifyOsBusChangedEx(uint8_t ctrlIndex) {
  if (ctrlIndex >= MAX_CONTROLLERS) {
    KEL_ASSERT_TEXT("byCtrlIndex < MAX_CONTROLLERS");
    if (ctrlIndex == 255) return false;
  }
  if (m_pOp == nullptr) return false;
  return m_pOp->NotifyOsBusChanged(ctrlIndex, this) != 0;
}

bool KelUCmdPacket::QueueUcmd(uint8_t ctrl, KelUcmdBuffer&& block) {
  if (!KelCheckUcmdSignature(block)) return false;
  NoteController(ctrl);
  m_queue.emplace_back(ctrl, std::move(block));
  ++m_bySeq;
  return true;
}

void KelUCmdPacket::NoteController(uint8_t ctrl) {
  if (std::find(m_ctrlIdx.begin(), m_ctrlIdx.end(), ctrl) == m_ctrlIdx.end())
    m_ctrlIdx.push_back(ctrl);
}
