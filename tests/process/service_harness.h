// Starts the real kelsrv binary for process tests: in a temporary folder, in a process group
// of its own (the service may signal its whole group), with its output captured to a file,
// on free loopback ports. Only processes this harness started are ever signalled.
#ifndef KEL_TESTS_PROCESS_SERVICE_HARNESS_H
#define KEL_TESTS_PROCESS_SERVICE_HARNESS_H

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace kel_test {

// A port that was free a moment ago on 127.0.0.1.
int FreePort();

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);

// Polls `cond` every 20 ms until it holds or `limit` passes; returns whether it held.
bool WaitFor(const std::function<bool()>& cond,
             std::chrono::milliseconds limit = std::chrono::seconds(15));

// Pids of the live (not zombie) children of `parent`.
std::vector<pid_t> ChildrenOf(pid_t parent);
bool Alive(pid_t pid);

// Connects to 127.0.0.1:port; the descriptor or -1.
int ConnectLoopback(int port);

// Runs a program (no shell) and waits for it; true when it exited with status 0. Its output
// goes to `outFile` when given, else to /dev/null.
bool RunProgram(const std::vector<std::string>& argv, const std::string& outFile = "");

// Creates a simulated controller in `simDir` with `disks` disks of 1 GiB (kelsim init and
// add-disk); true on success.
bool MakeSimFolder(const std::string& simDir, int disks = 1);

class ServiceProcess {
 public:
  // `dir` is the working folder; `args` follow the program name. Unless `args` name a
  // simulator folder, the service runs on a simulated controller in dir/sim (created here
  // and handed over through KEL_SIM_DIR): tests never reach the host's disks.
  ServiceProcess(const std::string& dir, const std::vector<std::string>& args);
  ~ServiceProcess();  // kills whatever is left of the process group

  pid_t pid() const { return m_pid; }
  std::string Output() const;  // everything both processes printed so far
  bool OutputContains(const std::string& text) const;
  // The working child once it exists (waits for it).
  pid_t WaitForChild(std::chrono::milliseconds limit = std::chrono::seconds(15)) const;
  // Reaps the supervising process; true when it ended within `limit`.
  bool WaitExit(std::chrono::milliseconds limit, int* status = nullptr);
  // True while any process of the group is alive.
  bool GroupAlive() const;

 private:
  pid_t m_pid = -1;
  bool m_reaped = false;
  std::string m_outPath;
};

// A configuration file that keeps every file in `dir` and uses the given client port and
// free ports for the rest.
std::string TestConfig(const std::string& dir, int clientPort);

}  // namespace kel_test

#endif
