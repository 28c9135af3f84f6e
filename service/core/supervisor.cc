#include "service/core/supervisor.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "service/core/kel_service.h"

std::atomic<int> g_bSrvShutdown{0};

namespace {

// What the last stop signal carried; written only by the handlers.
std::atomic<int> g_nStopValue{0};
std::atomic<int> g_nStopSender{0};

// The handlers may only use async-signal-safe calls, so the number is formatted by hand.
void WriteIntLine(const char* prefix, int value, const char* suffix) {
  char buf[64];
  size_t n = strlen(prefix);
  memcpy(buf, prefix, n);
  char digits[16];
  int d = 0;
  unsigned u = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
  do {
    digits[d++] = static_cast<char>('0' + u % 10);
    u /= 10;
  } while (u != 0);
  if (value < 0) buf[n++] = '-';
  while (d > 0) buf[n++] = digits[--d];
  size_t s = strlen(suffix);
  memcpy(buf + n, suffix, s);
  n += s;
  ssize_t ignored = write(STDOUT_FILENO, buf, n);
  (void)ignored;
}

// Ctrl-C, and SIGTERM to the supervising process (kill PID, timeout, service managers):
// the same orderly stop as SIGRTMIN+1. Without it the parent would die of SIGTERM and leave
// the working child, which ignores SIGTERM, running on its own.
void OnInterrupt(int) {
  g_nStopValue = 0;
  g_nStopSender = 0;
  g_bSrvShutdown = 1;
}

void OnChildEnded(int) {}  // only wakes sigsuspend in the parent

bool Install(int sig, void (*handler)(int)) {
  struct sigaction act {};
  act.sa_handler = handler;
  sigemptyset(&act.sa_mask);
  return sigaction(sig, &act, nullptr) == 0;
}

// Passes an orderly stop on to the working child and waits for it. A child that has not
// finished its shutdown within a minute is killed, so the stop always completes.
void StopChild(pid_t child) {
  if (child <= 0) return;
  union sigval value;
  value.sival_int = g_nStopValue.load();
  sigqueue(child, SIGRTMIN + 1, value);
  for (int waited_ms = 0;; waited_ms += 100) {
    int status = 0;
    pid_t done = waitpid(child, &status, WNOHANG);
    if (done == child && !(WIFEXITED(status) && WEXITSTATUS(status) == 0))
      fprintf(stderr, "working process %d ended abnormally (status %d)\n", static_cast<int>(child),
              status);
    if (done == child || (done < 0 && errno != EINTR)) return;
    if (waited_ms == 60000) {
      fprintf(stderr, "working process %d did not stop, killing it\n", static_cast<int>(child));
      kill(child, SIGKILL);
    }
    usleep(100 * 1000);
  }
}

}  // namespace

void new_op(int, siginfo_t* info, void*) {
  int value = info != nullptr ? info->si_value.sival_int : 0;
  WriteIntLine("the int value is ", value, " \n");
  g_nStopValue = value;
  g_nStopSender = info != nullptr ? info->si_pid : 0;
  g_bSrvShutdown = 1;
}

int CreateChild(int count, const char* cfgPath) {
  const pid_t parent = getpid();
  struct sigaction act {};
  act.sa_sigaction = new_op;
  act.sa_flags = SA_SIGINFO;
  sigemptyset(&act.sa_mask);
  if (sigaction(SIGRTMIN + 1, &act, nullptr) != 0) puts("install sigal error");
  Install(SIGINT, OnInterrupt);
  Install(SIGTERM, OnInterrupt);
  Install(SIGCHLD, OnChildEnded);

  if (count < 1) return -1;

  // The stop signals and SIGCHLD stay blocked in the parent except inside sigsuspend, so a
  // signal can never slip in between testing the flag and going to sleep.
  sigset_t watched, waiting;
  sigemptyset(&watched);
  sigaddset(&watched, SIGRTMIN + 1);
  sigaddset(&watched, SIGINT);
  sigaddset(&watched, SIGTERM);
  sigaddset(&watched, SIGCHLD);
  sigprocmask(SIG_BLOCK, &watched, &waiting);

  pid_t child = -1;
  for (;;) {
    if (g_bSrvShutdown) {
      if (g_nStopValue == kServiceExitValue && child > 0 && g_nStopSender == child) {
        // The child could not serve: end the whole group, this process included.
        Install(SIGTERM, SIG_DFL);
        sigprocmask(SIG_SETMASK, &waiting, nullptr);
        kill(0, SIGTERM);
        return 0;
      }
      StopChild(child);
      return 0;
    }
    if (count == 0) {
      int status = 0;
      pid_t ended = waitpid(-1, &status, WNOHANG);
      if (ended <= 0) {
        sigsuspend(&waiting);
        continue;
      }
      errno = 0;
      perror("Child process exit, create a new one\n");
      count = 1;
      child = -1;
      continue;
    }
    pid_t pid = fork();
    if (pid < 0) {
      perror("Parent process create child process\n");
      return -1;
    }
    if (pid > 0) {
      child = pid;
      --count;
      continue;
    }
    break;  // the working child
  }

  // The working child keeps the default SIGTERM action until the client registry installs
  // its own handler.
  Install(SIGCHLD, SIG_DFL);
  Install(SIGTERM, SIG_DFL);
  sigprocmask(SIG_SETMASK, &waiting, nullptr);

  if (!KelSrvMain(nullptr, cfgPath)) {
    puts("service exit");
    fflush(stdout);
    union sigval value;
    value.sival_int = kServiceExitValue;
    if (sigqueue(parent, SIGRTMIN + 1, value) != 0) puts("send error");
    // The parent's SIGTERM interrupts sleep; the full two seconds still pass.
    timespec left{2, 0};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
    if (g_bSrvShutdown) kill(0, SIGTERM);
  }
  // After an orderly shutdown the parent is waiting for this process to end.
  return 0;
}
