// A temporary folder for one simulator test, removed with everything in it afterwards.
#ifndef KEL_TESTS_SIM_SIM_TEST_DIR_H
#define KEL_TESTS_SIM_SIM_TEST_DIR_H

#include <cstdlib>
#include <filesystem>
#include <string>

class SimTestDir {
 public:
  SimTestDir() {
    char tmpl[] = "/tmp/kelsim_test.XXXXXX";
    m_path = mkdtemp(tmpl) ? tmpl : "";
  }
  ~SimTestDir() {
    std::error_code ec;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
  }
  const std::string& Path() const { return m_path; }
  std::string Sim() const { return m_path + "/sim"; }

 private:
  std::string m_path;
};

#endif
