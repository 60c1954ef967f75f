# pixmora-output-bench: the PNG and DNG pieces against cp of the packed dump.
find_package(Threads REQUIRED)
find_package(ZLIB REQUIRED)
add_executable(pixmora-output-bench output_bench.cpp)
target_link_libraries(pixmora-output-bench PRIVATE pixmora_core benchmark::benchmark Threads::Threads ZLIB::ZLIB pixmora_warnings)
