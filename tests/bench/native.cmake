# The codec benchmark, optimised and without sanitizers (the library's own logic sources compiled in).
add_executable(protreg_codec_bench ${CMAKE_SOURCE_DIR}/tests/bench/protreg_codec_bench.cc ${TWG_PROTREG_LOGIC}
               ${CMAKE_SOURCE_DIR}/frame/mbcs.cc)
target_include_directories(protreg_codec_bench PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(protreg_codec_bench PRIVATE -O2 -DNDEBUG)
target_link_libraries(protreg_codec_bench PRIVATE benchmark::benchmark OpenSSL::Crypto)
set_target_properties(protreg_codec_bench PROPERTIES EXCLUDE_FROM_ALL TRUE)
