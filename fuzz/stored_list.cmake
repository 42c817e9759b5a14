tovi_fuzz_target(fuzz_stored_list
  ${CMAKE_CURRENT_LIST_DIR}/stored_list.cpp
  ${TOVI_SRC}/modem/ImageListCodec.cpp)
