// Runs kelctl's main in the test process against a port, reading its environment from a
// map and with no terminal to prompt on, as the kelctl unit tests drive it.
#ifndef KEL_TESTS_CLIENT_KELCTL_IN_PROCESS_H
#define KEL_TESTS_CLIENT_KELCTL_IN_PROCESS_H

#include <map>
#include <string>
#include <vector>

#include "tools/kelctl/kelctl_app.h"

inline int RunKelctlInProcess(int port, const std::vector<std::string>& args,
                              const std::map<std::string, std::string>& env, std::string* out,
                              std::string* err) {
  std::vector<std::string> full = {"--port", std::to_string(port)};
  full.insert(full.end(), args.begin(), args.end());
  out->clear();
  err->clear();
  return KelctlMain(
      full,
      [&env](const char* name) -> const char* {
        auto it = env.find(name);
        return it == env.end() ? nullptr : it->second.c_str();
      },
      [](const std::string&, std::string*, std::string* error) {
        *error = "no terminal to ask for the password on";
        return false;
      },
      out, err);
}

#endif
