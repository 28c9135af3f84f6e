// Password sources for kelctl. The terminal prompt talks to /dev/tty rather than standard
// input and output, so that it works while those are redirected.
#include "tools/kelctl/kelctl_secrets.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

bool FirstLineOfFile(const std::string& path, std::string* out, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot read " + path + ": " + strerror(errno);
    return false;
  }
  std::string line;
  std::getline(in, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  *out = line;
  return true;
}

bool PromptWithoutEcho(const std::string& prompt, std::string* out, std::string* error) {
  int tty = open("/dev/tty", O_RDWR | O_NOCTTY);
  if (tty < 0) {
    *error = "no terminal to ask for the password on";
    return false;
  }
  termios saved{};
  bool haveTermios = tcgetattr(tty, &saved) == 0;
  if (haveTermios) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    tcsetattr(tty, TCSAFLUSH, &quiet);
  }
  bool ok = write(tty, prompt.data(), prompt.size()) == static_cast<ssize_t>(prompt.size());
  std::string line;
  char c = 0;
  ssize_t n = 0;
  while (ok && (n = read(tty, &c, 1)) == 1 && c != '\n') line += c;
  if (n < 0) ok = false;
  if (haveTermios) tcsetattr(tty, TCSAFLUSH, &saved);
  close(tty);
  if (!ok) {
    *error = "could not read the password from the terminal";
    return false;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  *out = line;
  return true;
}

bool ReadKelctlSecret(const KelctlSecretSource& source, const KelctlEnvLookup& env,
                      const KelctlPrompter& prompter, std::string* out, std::string* error) {
  if (!source.file.empty()) return FirstLineOfFile(source.file, out, error);
  if (const char* value = env(source.envName); value != nullptr && *value != '\0') {
    *out = value;
    return true;
  }
  if (!prompter(source.prompt, out, error)) {
    *error += std::string(" (use ") + source.optionName + " or " + source.envName + ")";
    return false;
  }
  if (!source.confirmPrompt.empty()) {
    std::string again;
    if (!prompter(source.confirmPrompt, &again, error)) return false;
    if (again != *out) {
      *error = "the two entries differ";
      return false;
    }
  }
  return true;
}
