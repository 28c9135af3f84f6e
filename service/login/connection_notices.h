// The two connection-level notices the service sends on a fresh command connection: the
// welcome packet (code 253) and the disconnect notice (code 254) with its reason.
#ifndef KEL_SERVICE_LOGIN_CONNECTION_NOTICES_H
#define KEL_SERVICE_LOGIN_CONNECTION_NOTICES_H

#include "sharedlib/cmd_codes.h"


// Reasons carried by the disconnect notice.
inline constexpr unsigned char KEL_DISCONNECT_REFUSED_ADDRESS = 1;
inline constexpr unsigned char KEL_DISCONNECT_NO_ROOM = 2;

// Sends the welcome text with its zero byte (a 46-byte packet); the result of SendPacket.
int SendWelcomMessage(int sock);

// Sends the disconnect notice (send errors ignored), closes `sock` unless it is -1, returns 0.
int DisConnect(int sock, unsigned char reason);

#endif
