// Small helpers the service unit tests share: whole files, counted texts and the
// diagnostics printed while a piece of code ran.
#ifndef KEL_TESTS_SERVICE_SERVICE_TEST_UTIL_H
#define KEL_TESTS_SERVICE_SERVICE_TEST_UTIL_H

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace kel_test {

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) ++n;
  return n;
}

// Runs `f` and returns what it printed on standard output.
template <class F>
std::string Captured(F&& f) {
  testing::internal::CaptureStdout();
  f();
  return testing::internal::GetCapturedStdout();
}

}  // namespace kel_test

#endif
