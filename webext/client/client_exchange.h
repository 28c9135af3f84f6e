// One request/reply exchange on a connection to the service, with the retries and the
// draining of stale replies that keep a client in step after a time-out or a wrong reply.
#ifndef KEL_WEBEXT_CLIENT_CLIENT_EXCHANGE_H
#define KEL_WEBEXT_CLIENT_CLIENT_EXCHANGE_H

#include "sharedlib/packet.h"

// Every payload buffer of the library, request or reply, holds this many bytes; a request
// packet (payload + 9 bytes of framing) must fit it as well.
inline constexpr unsigned int kClientBufSize = kMaxPayload;

// The time the service gets for each reply of a login, session login, logout or local
// command.
inline constexpr unsigned int kClientReplyTimeoutSec = 15;

// Sends the packet *cmd / data / *len on `sock` and waits for the reply whose code and
// data[0] equal the request's; the reply overwrites *cmd, data (which must hold
// kClientBufSize bytes) and *len. Each wait for data lasts at most timeoutSec seconds.
// Up to three attempts: a reply with another code or sub-code is reported, and the request
// is sent again. Before an attempt, a socket marked stale (bClearRevBuf) is drained for up
// to 0.1 s.
// Result: with useRetCode the reply's return code (data[1..4], signed, big-endian), else 0
// for any matching reply; 2001 send failure or closed / broken connection; 2002 time-out;
// 1002 three wrong replies; 2003 a matching reply too short to carry a return code when
// useRetCode is set; 2015 a request that would not fit a packet buffer.
int KelExecuteCmd(int sock, unsigned char* cmd, unsigned char* data, unsigned short* len,
                  unsigned int timeoutSec, int useRetCode);

// Waits up to `usec` microseconds for `sock` to become readable and then reads and drops
// at most kClientBufSize bytes. Returns the number of bytes dropped (0 when nothing came,
// the peer closed, or the read failed).
int DiscardPending(int sock, unsigned int usec);

#endif
