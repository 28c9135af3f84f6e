# Compiler settings shared by every target of the project.
add_compile_options(-Wall -Wextra)
# Clang checks the locking annotations of sharedlib/thread_annotations.h; a member touched
# without its lock, or a lock left held, fails the build.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  add_compile_options(-Wthread-safety -Werror=thread-safety)
endif()

if(KEL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(KEL_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# kel_add_test(NAME SOURCES... LIBS ...): one test executable per test file, registered
# with CTest test by test so a failing case is named in CTest's summary. Each test carries
# its program's name as a label, so `ctest -L '^(a_test|b_test)$'` runs chosen programs.
include(GoogleTest)
function(kel_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 120 LABELS ${name})
endfunction()
