tovi_fuzz_target(fuzz_preference_list
  ${CMAKE_CURRENT_LIST_DIR}/preference_list.cpp
  ${TOVI_SRC}/modem/ImageListCodec.cpp)
