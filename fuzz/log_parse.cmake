set(TOVILOG_SRC ${CMAKE_CURRENT_LIST_DIR}/../tools/tovilog)
tovi_fuzz_target(fuzz_log_parse
  ${CMAKE_CURRENT_LIST_DIR}/log_parse.cpp
  ${TOVILOG_SRC}/LogLine.cpp
  ${TOVILOG_SRC}/LogFile.cpp
  ${TOVILOG_SRC}/LineFilter.cpp
  ${TOVILOG_SRC}/LogSummary.cpp
  ${TOVILOG_SRC}/SummaryJson.cpp
  ${TOVI_SRC}/diroduzuvevo/TbdLineLayout.cpp)
# The JSON library's headers are the build machine's own here.
target_include_directories(fuzz_log_parse PRIVATE ${TOVILOG_SRC})
