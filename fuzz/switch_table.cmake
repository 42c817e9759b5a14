tovi_fuzz_target(fuzz_switch_table
  ${CMAKE_CURRENT_LIST_DIR}/switch_table.cpp
  ${TOVI_SRC}/app/SwitchTable.cpp
  ${TOVI_SRC}/app/CommandLineArgs.cpp)
