// The supervising parent of kelsrv: it forks the working child and forks a new one at once
// whenever the child ends. Stopping:
//   - SIGRTMIN+1 or SIGTERM to the parent, or SIGINT (Ctrl-C reaches both processes), asks
//     for an orderly stop: the parent passes SIGRTMIN+1 on to the working child, which runs
//     its shutdown sequence and exits; then the parent exits. Nothing is left running.
//   - A working child that cannot open its listen socket signals the parent with value 8;
//     the parent then sends SIGTERM to its process group and dies of it, and the child ends
//     two seconds later. Nothing is restarted.
#ifndef KEL_SERVICE_CORE_SUPERVISOR_H
#define KEL_SERVICE_CORE_SUPERVISOR_H

#include <atomic>
#include <csignal>

// Set only by the stop signal handlers; each process has its own copy after the fork. In
// the working process a handler runs on whichever thread the signal reaches while the accept
// loop reads the flag, so it is a lock-free atomic (safe in a handler) rather than a
// volatile.
extern std::atomic<int> g_bSrvShutdown;
static_assert(std::atomic<int>::is_always_lock_free, "the stop flags are set in signal handlers");

// Value carried by SIGRTMIN+1 when the working child could not open its listen socket.
inline constexpr int kServiceExitValue = 8;

// Handler of SIGRTMIN+1: prints the value carried by the signal and sets g_bSrvShutdown.
void new_op(int sig, siginfo_t* info, void* ctx);

// Runs the supervising loop in the parent and returns 0 when the service stops, or -1 when
// `count` < 1 or fork fails. In the working child it runs the service and returns 0 when
// the child should end.
int CreateChild(int count, const char* cfgPath);

#endif
