// Registration of a client's notification connection: the decisions (is this a registration
// packet, which client does it name, may this peer take that client's notices) and the
// hand-over of the accepted socket to the session. Kept apart from the listener thread so it
// can be driven with an in-memory registry and a socket pair.
#ifndef KEL_SERVICE_NOTIFY_KEL_NOTIFY_REGISTER_H
#define KEL_SERVICE_NOTIFY_KEL_NOTIFY_REGISTER_H

#include <netinet/in.h>

class KelClientHash;

// The client ID a registration packet carries (code 252, data byte 0 = 1, then the ID as
// decimal text, zero-terminated or ending with the data), or -1 when the packet is not a
// registration or names no valid ID.
int ParseNotifyRegistration(unsigned char code, const unsigned char* data, unsigned short len);

// Whether a connection from `peer` may take the notices of a session that logged in from
// `loginAddr` (network order): only the same IPv4 address may, and a session whose address
// is unknown takes none.
bool NotifyPeerAllowed(in_addr_t loginAddr, const sockaddr_in& peer);

enum class KelNotifyRegResult { kRegistered, kUnknownClient, kRefusedPeer, kSendFailed };

// Binds `sock`, accepted from `peer`, to client `id`: confirms with a type-1 notice, stores
// it in the session and closes the connection it replaces. On any result but kRegistered
// the caller still owns `sock`.
KelNotifyRegResult RegisterNotifySocket(KelClientHash* hash, int id, int sock,
                                        const sockaddr_in& peer);

#endif
