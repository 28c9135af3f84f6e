// One thread per accepted command connection: it greets the peer, then receives one packet
// at a time into a fresh command record, lets the login handlers or the command pipeline
// answer it, sends the reply and releases the record. It reads the next packet only after
// the reply went out, so one connection has at most one command in the pipeline.
#ifndef KEL_SERVICE_SESSION_KEL_CLIENT_THREAD_H
#define KEL_SERVICE_SESSION_KEL_CLIENT_THREAD_H

#include <netinet/in.h>

#include <atomic>

#include "sharedlib/kel_list.h"
#include "sharedlib/kel_mutex.h"
#include "sharedlib/kel_thread.h"
#include "sharedlib/mem_pool.h"

class KelUserCmd;
class KelCmdParser;
struct KelSrvPrivate;

enum KelLoginState { KEL_LOGIN_NONE = 0, KEL_LOGIN_WAITING = 1, KEL_LOGIN_DONE = 2 };

// What DispatchCmd did with a command.
enum KelDisposition {
  KEL_DISPATCH_QUEUED = 1,      // the caller waits for its completion
  KEL_DISPATCH_NOT_QUEUED = 2,  // answer at once (return code 4)
  KEL_DISPATCH_HANDLED = 3,     // handled here, answer at once
};

struct _KelClientSocketSession {
  int sockFd;
  sockaddr_in peerAddr;
};

class KelClientThread : public KelThread {
 public:
  KelClientThread(KelSrvPrivate* priv, void* cmdParser, int sockFd, sockaddr_in peer);
  // Unbinds the thread from its session and closes the socket.
  ~KelClientThread() override;

  void run() override;
  bool DispatchCmd(KelUserCmd* cmd, int& disposition);

  void SetClientID(int id) { clientID = id; }
  int GetClientID() const { return clientID; }
  void SetSocketSession(_KelClientSocketSession& s);
  const sockaddr_in& PeerAddress() const { return peerAddr; }
  // The peer's dotted IPv4 address.
  const char* PeerText() const { return peerText; }
  // Ends the connection from another thread (session destruction, shutdown): the thread's
  // next or pending read returns and the thread ends, closing the descriptor itself.
  void ShutdownSocket();

 private:
  void QueueLogText(const std::string& text);
  void QueuePreLoginText(const KelUserCmd* cmd, bool loggedIn, const std::string& text);
  void CloseSocket();

  int clientID = -1;                  // set by the login handlers on this thread
  int sockFd;                         // guarded by m_sockMutex for close/shutdown
  KelMutex m_sockMutex;
  sockaddr_in peerAddr;
  char peerText[16] = {};
  int loginState = KEL_LOGIN_NONE;    // this thread only
  bool peerLogged = false;            // this thread only: the peer's line went to the log
  KelSrvPrivate* pSrvPrivate;
  KelCmdParser* pCmdParser;
  KelUserCmd* pCurCmd = nullptr;      // this thread only
};

// Every connection thread of the service, owned by the list. The accept loop adds threads
// and reclaims finished ones; both under the list's mutex.
class KelClientThreadList : public KelMemPool {
 public:
  KelClientThreadList() = default;
  // Ends every connection, waits for every thread and destroys them.
  ~KelClientThreadList();

  bool lock() TRY_ACQUIRE(true, mutex) { return mutex.try_lock(5000); }
  bool unlock() RELEASE(mutex) { return mutex.unlock(); }
  // The caller holds the lock for these.
  bool AddToThreadList(KelClientThread* thread) REQUIRES(mutex);
  bool RemoveFromThreadList(KelClientThread* thread) REQUIRES(mutex);
  bool IsExist(KelClientThread* thread) REQUIRES(mutex);
  bool IsDead(KelClientThread* thread) REQUIRES(mutex);
  int Count() const REQUIRES(mutex) { return count; }
  // Removes and destroys every thread that has ended.
  void Reclaim();

 private:
  KelMutex mutex;
  KelList<KelClientThread*> threads GUARDED_BY(mutex);
  int count GUARDED_BY(mutex) = 0;
};

#endif
