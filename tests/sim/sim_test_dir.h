// A temporary folder for one simulator test, removed with everything in it afterwards.
#ifndef KEL_TESTS_SIM_SIM_TEST_DIR_H
#define KEL_TESTS_SIM_SIM_TEST_DIR_H

#include <string>

#include "tests/support/temp_dir.h"

class SimTestDir {
 public:
  const std::string& Path() const { return m_dir.path(); }
  std::string Sim() const { return m_dir.path() + "/sim"; }

 private:
  kel_test::TempDir m_dir;
};

#endif
