// The fixture of the tests that run the real kelsrv and the kelctl program: a service in a
// temporary folder on free ports, on a simulated controller that a test may build first.
#ifndef KEL_TESTS_CLIENT_KELCTL_E2E_FIXTURE_H
#define KEL_TESTS_CLIENT_KELCTL_E2E_FIXTURE_H

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/process/service_harness.h"
#include "webext/client/kelclient.h"

namespace kel_test {

struct KelctlRun {
  int status = -1;  // exit status, or -1 when the program did not exit normally
  std::string out, err;
};

class KelctlE2e : public ::testing::Test {
 protected:
  // A test that wants another simulated controller builds it in dir/sim first.
  virtual void MakeSim() {}

  void SetUp() override {
    MakeSim();
    bClearRevBuf = false;
    ASSERT_EQ(ZepSockInit(), 0);
    port = FreePort();
    WriteFile(dir.File("kel.config"), TestConfig(dir.path(), port));
    srv = std::make_unique<ServiceProcess>(dir.path(), std::vector<std::string>{dir.File("kel.config")});
    // A generous limit: on a loaded machine the service may take long to come up.
    ASSERT_TRUE(WaitFor([&] { return ReadFile(dir.File("kel_init.log")) == "success\n"; },
                        std::chrono::seconds(60)))
        << srv->Output();
  }

  // Runs the kelctl binary with `args` and the given environment (KEL_PORT is added) in a
  // session of its own, so that it has no terminal to prompt on.
  KelctlRun Kelctl(const std::vector<std::string>& args,
                   std::vector<std::string> envs = {"KEL_PASSWORD=pelum"}) {
    envs.push_back("KEL_PORT=" + std::to_string(port));
    std::vector<char*> argv{const_cast<char*>(KELCTL_BIN)}, envp;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    for (std::string& e : envs) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    const std::string outPath = dir.File("kelctl.out"), errPath = dir.File("kelctl.err");
    const pid_t pid = fork();
    if (pid == 0) {  // only async-signal-safe calls from here on
      setsid();
      dup2(open("/dev/null", O_RDONLY), STDIN_FILENO);
      dup2(open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDOUT_FILENO);
      dup2(open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
      execve(KELCTL_BIN, argv.data(), envp.data());
      _exit(127);
    }
    int status = 0;
    KelctlRun run;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) ADD_FAILURE() << "cannot run " << KELCTL_BIN;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadFile(outPath);
    run.err = ReadFile(errPath);
    return run;
  }

  // Runs kelsim on the test's controller; its standard output goes to *out.
  bool Kelsim(std::vector<std::string> args, std::string* out = nullptr) {
    args.insert(args.begin(), {KELSIM_BIN, "--dir", sim});
    const std::string outFile = dir.File("kelsim.out");
    WriteFile(outFile, "");
    bool ok = RunProgram(args, outFile);
    if (out != nullptr) *out = ReadFile(outFile);
    return ok;
  }

  TempDir dir;
  std::string sim = dir.File("sim");
  int port = 0;
  std::unique_ptr<ServiceProcess> srv;
};

// The number after "key": in a JSON text, or -1.
inline long long JsonNumber(const std::string& json, const std::string& key) {
  const std::string k = "\"" + key + "\":";
  size_t at = json.find(k);
  if (at == std::string::npos) return -1;
  return std::stoll(json.substr(at + k.size()));
}

}  // namespace kel_test

#endif
