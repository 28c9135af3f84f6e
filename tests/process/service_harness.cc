#include "tests/process/service_harness.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace kel_test {

int FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
  socklen_t len = sizeof(addr);
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  close(fd);
  return ntohs(addr.sin_port);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

bool WaitFor(const std::function<bool()>& cond, std::chrono::milliseconds limit) {
  auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (cond()) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

namespace {
// Field 3 (state) and 4 (ppid) of /proc/PID/stat; the command name may hold blanks, so
// parsing starts after its closing parenthesis.
bool ReadStat(pid_t pid, char* state, pid_t* ppid, pid_t* pgrp = nullptr) {
  std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  size_t close = stat.rfind(')');
  if (close == std::string::npos) return false;
  std::istringstream rest(stat.substr(close + 1));
  long parent = 0, group = 0;
  rest >> *state >> parent >> group;
  *ppid = static_cast<pid_t>(parent);
  if (pgrp != nullptr) *pgrp = static_cast<pid_t>(group);
  return true;
}

// Live (not zombie) processes for which `match(ppid, pgrp)` holds.
std::vector<pid_t> LiveProcesses(const std::function<bool(pid_t, pid_t)>& match) {
  std::vector<pid_t> out;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return out;
  while (dirent* e = readdir(proc)) {
    pid_t pid = static_cast<pid_t>(atoi(e->d_name));
    char state = 0;
    pid_t ppid = 0, group = 0;
    if (pid > 0 && ReadStat(pid, &state, &ppid, &group) && state != 'Z' && match(ppid, group))
      out.push_back(pid);
  }
  closedir(proc);
  return out;
}

std::vector<pid_t> GroupMembers(pid_t pgrp) {
  return LiveProcesses([&](pid_t, pid_t group) { return group == pgrp; });
}
}  // namespace

std::vector<pid_t> ChildrenOf(pid_t parent) {
  return LiveProcesses([&](pid_t ppid, pid_t) { return ppid == parent; });
}

bool Alive(pid_t pid) {
  char state = 0;
  pid_t ppid = 0;
  return ReadStat(pid, &state, &ppid) && state != 'Z';
}

int ConnectLoopback(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

bool RunProgram(const std::vector<std::string>& argv, const std::string& outFile) {
  pid_t pid = fork();
  if (pid == 0) {
    int out = open(outFile.empty() ? "/dev/null" : outFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    dup2(out, STDOUT_FILENO);
    dup2(out, STDERR_FILENO);
    close(out);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool MakeSimFolder(const std::string& simDir, int disks) {
  if (!RunProgram({KELSIM_BIN, "--dir", simDir, "init"})) return false;
  for (int i = 0; i < disks; ++i) {
    std::string channel = std::to_string(i / 2);
    const char* position = i % 2 == 0 ? "master" : "slave";
    if (!RunProgram({KELSIM_BIN, "--dir", simDir, "add-disk", "--channel", channel, "--position",
                     position, "--size", "1G"}))
      return false;
  }
  return true;
}

ServiceProcess::ServiceProcess(const std::string& dir, const std::vector<std::string>& args) {
  // Orphaned service processes come back to the test to be reaped, not to init.
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  m_outPath = dir + "/kelsrv.out";
  bool ownSim = std::find(args.begin(), args.end(), "--sim") == args.end();
  std::string simDir = dir + "/sim";
  if (ownSim && access(simDir.c_str(), F_OK) != 0) MakeSimFolder(simDir);
  m_pid = fork();
  if (m_pid == 0) {
    setpgid(0, 0);
    if (ownSim) setenv("KEL_SIM_DIR", simDir.c_str(), 1);
    if (chdir(dir.c_str()) != 0) _exit(127);
    int out = open(m_outPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    dup2(out, STDOUT_FILENO);
    dup2(out, STDERR_FILENO);
    close(out);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(KELSRV_BIN));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(KELSRV_BIN, argv.data());
    _exit(127);
  }
  setpgid(m_pid, m_pid);  // also from here, so the group exists before any signal
}

ServiceProcess::~ServiceProcess() {
  if (m_pid > 0) {
    for (pid_t member : GroupMembers(m_pid)) kill(member, SIGKILL);
    if (!m_reaped) waitpid(m_pid, nullptr, 0);
  }
  // Only the service's own group: another child of the test (a client still running) is
  // its caller's to reap.
  while (m_pid > 0 && waitpid(-m_pid, nullptr, WNOHANG) > 0) {
  }
}

std::string ServiceProcess::Output() const { return ReadFile(m_outPath); }

bool ServiceProcess::OutputContains(const std::string& text) const {
  return Output().find(text) != std::string::npos;
}

pid_t ServiceProcess::WaitForChild(std::chrono::milliseconds limit) const {
  pid_t child = -1;
  WaitFor(
      [&] {
        std::vector<pid_t> kids = ChildrenOf(m_pid);
        if (kids.empty()) return false;
        child = kids.front();
        return true;
      },
      limit);
  return child;
}

bool ServiceProcess::WaitExit(std::chrono::milliseconds limit, int* status) {
  if (m_reaped) return true;
  int st = 0;
  bool done = WaitFor([&] { return waitpid(m_pid, &st, WNOHANG) == m_pid; }, limit);
  if (done) {
    m_reaped = true;
    if (status != nullptr) *status = st;
  }
  return done;
}

bool ServiceProcess::GroupAlive() const { return !GroupMembers(m_pid).empty(); }

std::string TestConfig(const std::string& dir, int clientPort) {
  std::ostringstream cfg;
  cfg << "KEL_CFG_EVENTLOG_FILE = " << dir << "/kel_event.log\n"
      << "KEL_CFG_ACCOUNT_FILE = " << dir << "/kel_account\n"
      << "KEL_CFG_INIT_LOG_FILE = " << dir << "/kel_init.log\n"
      << "KEL_CFG_CLIENT_LISTEN_PORT = " << clientPort << "\n"
      << "KEL_CFG_ACK_LISTEN_PORT = " << FreePort() << "\n"
      << "KEL_CFG_BROADCAST_LISTEN_PORT = " << FreePort() << "\n";
  return cfg.str();
}

}  // namespace kel_test
