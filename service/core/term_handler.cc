#include "service/core/term_handler.h"

#include <unistd.h>

#include <csignal>

namespace {
void OnTerm(int) {
  static const char kText[] = "Reset package remove flag\n";
  ssize_t ignored = write(STDOUT_FILENO, kText, sizeof(kText) - 1);
  (void)ignored;
}
}  // namespace

void InstallTermHandler() { signal(SIGTERM, OnTerm); }
