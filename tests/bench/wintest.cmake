# The store's Wine benchmark: the store's sources compiled in, optimised; not run by ctest.
add_executable(protreg_wine_bench ${CMAKE_SOURCE_DIR}/tests/bench/protreg_wine_bench.cc ${TWG_PROTREG_UNDER_TEST}
               ${CMAKE_SOURCE_DIR}/frame/install_log.cc ${CMAKE_SOURCE_DIR}/frame/path_chars.cc
               ${CMAKE_SOURCE_DIR}/frame/mbcs.cc ${CMAKE_SOURCE_DIR}/frame/log_time.cc)
target_include_directories(protreg_wine_bench PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(protreg_wine_bench PRIVATE WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0400)
target_compile_options(protreg_wine_bench PRIVATE -O2)
target_link_libraries(protreg_wine_bench PRIVATE advapi32 user32)
target_link_options(protreg_wine_bench PRIVATE ${TWG_WIN_STATIC})
set_target_properties(protreg_wine_bench PROPERTIES EXCLUDE_FROM_ALL TRUE)
