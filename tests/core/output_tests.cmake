# Tests of the output builders. The picture rows are pure and run everywhere
# with the core's tests; the files are read back by real readers (libpng,
# pngcheck, LibRaw, exiftool), which are native only.
target_sources(core_tests PRIVATE picture_rows_test.cpp)
if(NOT WIN32)
    pixmora_add_gtest(output_tests encode_test.cpp)
    target_link_libraries(output_tests PRIVATE pixmora_test_readers)
endif()
