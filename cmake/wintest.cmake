# The 64-bit test runner that drives TWGMsI.dll through real installer sessions under wine64, and the
# stand-ins for the outside components the library calls.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

set(TWG_WIN_STATIC -static -static-libgcc -static-libstdc++)
file(GLOB TWG_HARNESS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/harness/*.cc)
file(GLOB TWG_WINE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/*_test.cc)
# The whole library, compiled once more for the test programs: the runner calls what has no export
# (the frame's session services against a real session, the store's API, the folder lookups), and
# twg_store_probe (tests/wine/store_probe.cc) does what a test must do in a fresh process.
add_library(twg_inprocess STATIC ${TWG_LOGIC_SOURCES} ${TWG_WIN_SOURCES})
target_include_directories(twg_inprocess PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/resources)
target_compile_definitions(twg_inprocess PRIVATE WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0400)
set(TWG_INPROCESS_LIBS twg_inprocess msi advapi32 user32 shell32 ole32 oleaut32 version)

add_executable(twg_wine_tests ${TWG_HARNESS} ${TWG_WINE_TESTS})
target_include_directories(twg_wine_tests PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests/wine
                           ${CMAKE_SOURCE_DIR}/resources)
target_compile_definitions(twg_wine_tests PRIVATE WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0501)
target_link_libraries(twg_wine_tests PRIVATE gtest ${TWG_INPROCESS_LIBS})
target_link_options(twg_wine_tests PRIVATE ${TWG_WIN_STATIC})

# Stand-ins: tests/standins/<name>.cc becomes <name>.exe; a folder tests/standins/<name>/ with its own
# CMakeLists.txt builds anything more elaborate (COM servers, DLLs).
file(GLOB TWG_STANDIN_EXES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/standins/*.cc)
foreach(src ${TWG_STANDIN_EXES})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/standins)
  target_link_libraries(${name} PRIVATE user32 advapi32 ole32 oleaut32 uuid)
  target_link_options(${name} PRIVATE ${TWG_WIN_STATIC})
endforeach()
file(GLOB TWG_STANDIN_DIRS CONFIGURE_DEPENDS LIST_DIRECTORIES true ${CMAKE_SOURCE_DIR}/tests/standins/*)
foreach(dir ${TWG_STANDIN_DIRS})
  if(IS_DIRECTORY ${dir} AND EXISTS ${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endforeach()

add_executable(twg_store_probe ${CMAKE_SOURCE_DIR}/tests/wine/store_probe.cc)
target_link_libraries(twg_store_probe PRIVATE ${TWG_INPROCESS_LIBS})
target_link_options(twg_store_probe PRIVATE ${TWG_WIN_STATIC})

# Benchmarks, not run by ctest (scripts/bench-protreg.sh builds and runs them).
include(${CMAKE_SOURCE_DIR}/tests/bench/wintest.cmake OPTIONAL)
