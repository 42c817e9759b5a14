tovi_fuzz_target(fuzz_version_decode
  ${CMAKE_CURRENT_LIST_DIR}/version_decode.cpp
  ${TOVI_SRC}/agent/FirmwareVersion.cpp)
