// Wire packet framing shared by the service and the client library.
//
//   offset size field
//   0      5    delimiter 0x55 0xAA 'Z' 'E' 'P'
//   5      2    length, big-endian: payload length + 1 (command byte and payload)
//   7      1    command code
//   8      n    payload
//   8+n    1    checksum: two's complement of the 8-bit sum of bytes 5 .. 7+n
//
// A packet is n + 9 bytes. Integers inside service-local payloads are 32-bit big-endian at
// the byte index the command's layout fixes.
#ifndef KEL_SHAREDLIB_PACKET_H
#define KEL_SHAREDLIB_PACKET_H

inline constexpr unsigned char DELIMITER[5] = {0x55, 0xAA, 0x5A, 0x45, 0x50};
inline constexpr int kPacketOverhead = 9;  // delimiter, length, command, checksum

// Builds the packet for `cmd` and `len` payload bytes into `out` (len + 9 bytes). The
// payload is moved first, so it may lie anywhere in `out`, even at `out` itself: replies are
// built in place over the request. Returns 0.
int AssemblePacket(unsigned char cmd, const unsigned char* payload, unsigned short len,
                   unsigned char* out);

// Writes all `len` bytes; 0 when everything went out, -1 for sock -1 or a send failure.
int SendPacket(int sock, const unsigned char* buf, unsigned short len);

// Largest payload any receiver of this system accepts: the data area of a command record,
// and the reply buffer of the client library.
inline constexpr unsigned int kMaxPayload = 2064;

// Receives one packet: the code into *cmd, the payload into `payload`, its length into
// *len. Every single wait for data lasts at most sec/usec; with returnOnTimeout a wait that
// times out ends the call. Garbage before a delimiter is skipped byte by byte and a packet
// with a bad checksum is dropped, and the call goes on waiting for the next packet.
//   0  a packet was received
//   1  a wait timed out and returnOnTimeout is non-zero (a partial packet is abandoned)
//   2  the peer closed the connection before a packet's length was read
//  -1  invalid socket, select or recv error, the peer closed after the length was read, or
//      the length field announced more than `capacity` payload bytes (a length field of 0
//      announces 65535): such a packet is never written past the buffer, and since its end
//      cannot be trusted the stream is out of step, so the caller ends the connection.
int WaitCommand(int sock, unsigned char* cmd, unsigned char* payload, unsigned short* len,
                unsigned int sec, unsigned int usec, int returnOnTimeout,
                unsigned int capacity = kMaxPayload);

// 0 when the five bytes at `buf` are the delimiter, else -1.
int CheckDelimiter(const unsigned char* buf);

// 0 when `checksum` completes the sum of the length field, `cmd` and the lengthField - 1
// payload bytes to 0 modulo 256, else -1.
int CheckSumVerify(unsigned short lengthField, unsigned char cmd, const unsigned char* payload,
                   unsigned char checksum);

// Big-endian 32-bit codecs at byte `index` of `buf`.
void INT32SToBuf(int value, int index, unsigned char* buf);
void INT32UToBuf(unsigned int value, int index, unsigned char* buf);
int BufToINT32S(int index, const unsigned char* buf);
unsigned int BufToINT32U(int index, const unsigned char* buf);

#endif
