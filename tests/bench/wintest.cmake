# The store's Wine benchmark, with the library compiled in; not run by ctest.
add_executable(protreg_wine_bench ${CMAKE_SOURCE_DIR}/tests/bench/protreg_wine_bench.cc)
target_compile_options(protreg_wine_bench PRIVATE -O2)
target_link_libraries(protreg_wine_bench PRIVATE ${TWG_INPROCESS_LIBS})
target_link_options(protreg_wine_bench PRIVATE ${TWG_WIN_STATIC})
set_target_properties(protreg_wine_bench PROPERTIES EXCLUDE_FROM_ALL TRUE)
# The signature import's Wine benchmark, against the DLL itself (scripts/bench-config.sh).
add_executable(config_wine_bench ${CMAKE_SOURCE_DIR}/tests/bench/config_wine_bench.cc)
target_compile_options(config_wine_bench PRIVATE -O2)
target_link_options(config_wine_bench PRIVATE ${TWG_WIN_STATIC})
set_target_properties(config_wine_bench PROPERTIES EXCLUDE_FROM_ALL TRUE)
