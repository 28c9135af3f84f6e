// KelUCmdPacket brackets one save-and-notify sequence of the engine: it is started before the
// configuration of the changed disks is written, collects the controllers addressed, carries
// the bus-changed notices and is ended afterwards. Blocks are queued only in batching mode,
// which this system never enables, so every command goes out at once and DeliverUcmdPacket
// finds nothing to send. Used by one thread at a time (the engine holds its model lock).
#ifndef KEL_DRIVER_UCMD_PACKET_H
#define KEL_DRIVER_UCMD_PACKET_H

#include <cstdint>
#include <utility>
#include <vector>

#include "driver/drv_ucmd.h"

class KelDeviceManage;
class KelRaidBasicOp;

constexpr int MAX_CONTROLLERS = 1;

class KelUCmdPacket {
 public:
  KelUCmdPacket(KelDeviceManage* manager, KelRaidBasicOp* op) : m_pManager(manager), m_pOp(op) {}
  virtual ~KelUCmdPacket() { ReleaseAll(); }
  KelUCmdPacket(const KelUCmdPacket&) = delete;
  KelUCmdPacket& operator=(const KelUCmdPacket&) = delete;

  // Resets the sequence counter, the batching flag, the controller list and the queue.
  void StartUcmdPackPro();
  // Frees the queued blocks and resets.
  void EndUcmdPackPro() { ReleaseAll(); }
  void ReleaseAll();
  // Sends every queued block to its controller; true when all went through (and when none
  // was queued).
  bool DeliverUcmdPacket();

  // Sends sub-command 0x0F to controller `ctrlIndex`. An index beyond the supported
  // controllers prints "byCtrlIndex < MAX_CONTROLLERS"; 255 is refused.
  bool UCmdNotifyOsBusChangedEx(uint8_t ctrlIndex);

  // Queues a framed block for delivery; false (after the assertion line) when the block
  // lacks the UCMD signature.
  bool QueueUcmd(uint8_t ctrl, KelUcmdBuffer&& block);
  // Records that controller `ctrl` was addressed in this sequence.
  void NoteController(uint8_t ctrl);

  KelDeviceManage* Manager() const { return m_pManager; }
  bool IsBatching() const { return m_bBatch; }
  uint8_t Sequence() const { return m_bySeq; }
  const std::vector<uint8_t>& Controllers() const { return m_ctrlIdx; }
  size_t QueuedCount() const { return m_queue.size(); }

 private:
  KelDeviceManage* m_pManager;
  KelRaidBasicOp* m_pOp;
  uint8_t m_bySeq = 0;
  bool m_bBatch = false;
  std::vector<uint8_t> m_ctrlIdx;
  std::vector<std::pair<uint8_t, KelUcmdBuffer>> m_queue;
};

#endif
