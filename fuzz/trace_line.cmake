tovi_fuzz_target(fuzz_trace_line
  ${CMAKE_CURRENT_LIST_DIR}/trace_line.cpp
  ${TOVI_SRC}/diroduzuvevo/TbdLineLayout.cpp)
