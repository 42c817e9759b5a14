# Registers a GoogleTest program with ctest, the same way for every preset: it
# runs under the toolchain's emulator (64-bit Wine for win64, 32-bit Wine in a
# WoW64 prefix for win32) through run-test.sh, which passes it only when it
# exits with 0 and reports its tests. One ctest entry per program: a process
# per test case would multiply Wine's start-up cost.
set(TOVI_RUN_TEST ${CMAKE_CURRENT_LIST_DIR}/run-test.sh)

function(tovi_add_gtest target)
  add_test(NAME ${target}
           COMMAND ${TOVI_RUN_TEST} ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${target}> --gtest_brief=1
           WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  # A test that hangs (a held event, a window nobody closes) fails instead of
  # stopping the run.
  set_tests_properties(${target} PROPERTIES TIMEOUT 240)
endfunction()
