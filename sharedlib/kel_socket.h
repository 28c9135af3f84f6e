// IPv4 socket classes of the runtime library. Every failure prints one diagnostic line and
// is reported by a false result or a result code; nothing throws. The first SetOptions call
// installs process-wide SIGPIPE and SIGURG handlers so that a vanished peer turns a write
// into an EPIPE error instead of ending the process.
#ifndef KEL_SHAREDLIB_KEL_SOCKET_H
#define KEL_SHAREDLIB_KEL_SOCKET_H

#include <netdb.h>
#include <netinet/in.h>
#include <signal.h>

class KelBaseSocket {
 public:
  KelBaseSocket() = default;
  virtual ~KelBaseSocket();
  KelBaseSocket(const KelBaseSocket&) = delete;
  KelBaseSocket& operator=(const KelBaseSocket&) = delete;

  virtual bool Create();      // AF_INET stream socket
  virtual bool Close();       // closes when open; always true
  virtual bool SetOptions();  // keep-alive on, OOB inline off, address reuse on

  // Once per process; a plain static flag, so the first call must precede other threads.
  static bool InstallSignal();
  static void sig_handler(int sig);

  static int Send(int sock, const char* buf, int len, int flags);
  static int Recv(int sock, char* buf, int len, int flags);
  static void CloseSocket(int& sock);
  int GetSocketID() const { return m_SocketID; }

 protected:
  int m_SocketID = -1;

 private:
  static bool m_bSigInstalled;
  static struct sigaction m_Action;
  static struct sigaction m_OldAction;
};

// A listening TCP socket on INADDR_ANY. Construction starts it; a socket that could not be
// started has descriptor -1, which callers test.
class KelReceiveSocket : public KelBaseSocket {
 public:
  KelReceiveSocket(unsigned short port, int backlog);
  ~KelReceiveSocket() override = default;

  bool Start();
  bool Bind();
  bool Listen();  // queue length backlog + 1
  // 0 accepted, 1 socket not open, 2 hard accept failure, 3 interrupted or aborted.
  int AcceptConnect();
  // Waits up to one second; 1 when a connection was accepted (see AcceptedSocket and
  // PeerAddress), else 0. Rebuilds the listening socket after a hard failure.
  int Accept();

  int AcceptedSocket() const { return m_acceptedSock; }
  const sockaddr_in& PeerAddress() const { return m_peerAddr; }
  unsigned short Port() const { return m_port; }

 private:
  unsigned short m_port;
  int m_backlog;
  sockaddr_in m_localAddr{};
  int m_acceptedSock = -1;
  sockaddr_in m_peerAddr{};
};

// The first IPv4 address of a resolver answer into *out; false when the answer holds none.
bool KelFirstIPv4(const addrinfo* list, in_addr* out);

// A TCP socket that connects to one service. The constructor only resolves the target;
// Start connects.
class KelSendSocket : public KelBaseSocket {
 public:
  KelSendSocket(const char* host, unsigned short port);
  ~KelSendSocket() override = default;

  bool Start();
  bool Connect();
  void InitTgtAddr(const sockaddr_in& addr) { m_tgtAddr = addr; }
  sockaddr_in GetSockAddr() const { return m_tgtAddr; }
  // The name a reverse look-up gives for the target; empty when there is none.
  const char* GetTgtName() const { return m_tgtName; }

 private:
  sockaddr_in m_tgtAddr{};
  char m_tgtName[256] = {};
};

#endif
