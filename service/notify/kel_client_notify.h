// The senders on a client's notification connection: one notice to one socket, a notice to
// every registered client, and the acknowledgement probe the watchdog uses to find clients
// that stopped answering.
#ifndef KEL_SERVICE_NOTIFY_KEL_CLIENT_NOTIFY_H
#define KEL_SERVICE_NOTIFY_KEL_CLIENT_NOTIFY_H

#include <cstdint>

class KelClientHash;

// Notice types.
inline constexpr uint16_t KEL_NOTICE_REGISTERED = 1;
inline constexpr uint16_t KEL_NOTICE_ACK = 2;
inline constexpr uint16_t KEL_NOTICE_HOTPLUG = 3;
inline constexpr uint16_t KEL_NOTICE_DISK_STATUS = 4;
inline constexpr uint16_t KEL_NOTICE_TASK_STATE = 5;
inline constexpr uint16_t KEL_NOTICE_KICKED = 7;

// One event notice as handed to the senders; the data is not owned.
struct _KelHostEventData {
  uint16_t type = 0;
  uint16_t len = 0;
  const uint8_t* data = nullptr;
};

class KelClientNotify {
 public:
  explicit KelClientNotify(KelClientHash* hash) : m_pHash(hash) {}
  // One notice on one socket (code 252: type byte, then the data). False when the socket
  // is negative, the packet would exceed 2064 bytes, or sending failed.
  bool SendNotice(const _KelHostEventData& notice, int* socket);
  // The notice to every client with a notification connection.
  bool BroadcastNotice(const _KelHostEventData& notice);

 private:
  KelClientHash* m_pHash;
};

class KelClientAck {
 public:
  explicit KelClientAck(KelClientHash* hash) : m_pHash(hash) {}
  // Sends the acknowledgement probe to client `id` and waits for its answer, counting a
  // miss in the session's ackMissCount; true when the client was found.
  bool AckClient(int id);

 private:
  KelClientHash* m_pHash;
};

#endif
