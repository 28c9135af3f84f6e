// Standard output captured around a call (the library reports there), and counting a report.
#ifndef KEL_TESTS_SHAREDLIB_CAPTURE_H
#define KEL_TESTS_SHAREDLIB_CAPTURE_H

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace kel_test {

inline std::string Captured(const std::function<void()>& fn) {
  testing::internal::CaptureStdout();
  fn();
  return testing::internal::GetCapturedStdout();
}

// Whether `fn` reports `what` on standard output.
inline bool Reports(const std::function<void()>& fn, const std::string& what) {
  return Captured(fn).find(what) != std::string::npos;
}

inline int Occurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) ++n;
  return n;
}

}  // namespace kel_test

#endif
