// Fuzz target for the packet receiver: the input is the byte stream a peer sends on a
// connection. It is written into one end of a socketpair, the writer closes, and
// WaitCommand reads packets from the other end until it reports something other than a
// packet. Each outcome is compared with a small independent model of the framing, and the
// payload buffer is exactly the receivers' 2064 bytes on the heap, so any write past it is
// an AddressSanitizer report.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include "fuzz/fuzz_support.h"
#include "sharedlib/packet.h"

namespace {

// Fails the run with a message libFuzzer keeps next to the reproducer.
[[noreturn]] void Fail(const char* what, int a = 0, int b = 0) {
  fprintf(stderr, "packet_receiver_fuzz: %s (%d, %d)\n", what, a, b);
  abort();
}

// What the framing rules say the next WaitCommand call over the rest of the stream returns.
struct Expected {
  int result = 2;
  unsigned char cmd = 0;
  size_t payloadAt = 0;  // offset of the payload in the input
  unsigned int len = 0;
  unsigned char checksum = 0;
};

// The reference model: reads from input[*pos], consumes what the receiver consumes and
// predicts its result. The stream ends with the peer closing the connection.
Expected NextPacket(const uint8_t* in, size_t size, size_t* pos) {
  Expected e;
  size_t p = *pos;
  for (;;) {
    // Hunt for the first delimiter byte, then take four more and compare all five.
    while (p < size && in[p] != DELIMITER[0]) ++p;
    if (p + 5 > size) {
      e.result = 2;
      break;
    }
    const bool delimiterOk = memcmp(in + p, DELIMITER, sizeof(DELIMITER)) == 0;
    p += 5;
    if (!delimiterOk) continue;
    if (p + 2 > size) {
      e.result = 2;
      break;
    }
    const unsigned int field = in[p] * 256u + in[p + 1];
    p += 2;
    if (field == 0 || field - 1 > kMaxPayload) {
      e.result = -1;  // more than any receiver buffer holds: the connection is given up
      break;
    }
    e.len = field - 1;
    if (p + 1 + e.len + 1 > size) {
      e.result = -1;  // closed after the length was read
      break;
    }
    e.cmd = in[p];
    e.payloadAt = p + 1;
    e.checksum = in[p + 1 + e.len];
    p += 1 + e.len + 1;
    unsigned char sum = static_cast<unsigned char>((field >> 8) + (field & 0xFF) + e.cmd);
    for (unsigned int i = 0; i < e.len; ++i)
      sum = static_cast<unsigned char>(sum + in[e.payloadAt + i]);
    if (static_cast<unsigned char>(sum + e.checksum) == 0) {
      e.result = 0;
      break;
    }
    // A bad checksum drops the packet; hunting goes on behind it.
  }
  *pos = p;
  return e;
}

// Writes what fits at once without blocking; the rest (a large input) goes from a thread
// while the receiver reads.
std::thread Feed(int fd, const uint8_t* data, size_t size) {
  size_t done = 0;
  if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK) == 0) {
    while (done < size) {
      ssize_t n = send(fd, data + done, size - done, MSG_NOSIGNAL);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  }
  if (done == size) {
    close(fd);
    return std::thread();
  }
  return std::thread([fd, data, size, done]() mutable {
    while (done < size) {
      ssize_t n = send(fd, data + done, size - done, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;  // the reader has gone
      done += static_cast<size_t>(n);
    }
    close(fd);
  });
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The receiver prints a diagnostic for every skipped byte; keep them only when asked.
  if (!KelFuzzQuietStdout()) Fail("cannot silence stdout");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) Fail("socketpair", errno);
  std::thread writer = Feed(fds[1], data, size);
  std::unique_ptr<unsigned char[]> payload(new unsigned char[kMaxPayload]);

  size_t modelPos = 0;
  for (int packets = 0;; ++packets) {
    unsigned char cmd = 0;
    unsigned short len = 0;
    // A writer thread that stalls for a whole second makes the call return 1, which ends the
    // run without a verdict on the rest of the stream.
    const int r = WaitCommand(fds[0], &cmd, payload.get(), &len, 1, 0, 1);
    if (r != 0 && r != 1 && r != 2 && r != -1) Fail("result outside {0,1,2,-1}", r);
    if (r == 1) break;
    const Expected e = NextPacket(data, size, &modelPos);
    if (r != e.result) Fail("result differs from the framing rules", r, e.result);
    if (r != 0) break;
    if (len > kMaxPayload) Fail("payload length above the buffer", len);
    if (cmd != e.cmd || len != e.len)
      Fail("packet differs from the stream", len, static_cast<int>(e.len));
    if (len != 0 && memcmp(payload.get(), data + e.payloadAt, len) != 0)
      Fail("payload differs from the stream", packets);
    if (CheckSumVerify(static_cast<unsigned short>(len + 1), cmd, payload.get(), e.checksum) != 0)
      Fail("returned packet fails its checksum", packets);
  }
  close(fds[0]);  // a writer still blocked in send gets EPIPE and ends
  if (writer.joinable()) writer.join();
  return 0;
}
