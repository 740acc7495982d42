# Native tree: Windows-free logic under sanitizers, fuzzers, offline tools, and the ctest driver.
find_package(GTest REQUIRED)
find_package(OpenSSL REQUIRED)   # an independent oracle for the cipher and digest, tests only
enable_testing()

set(TWG_SANITIZE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
add_library(twg_logic STATIC ${TWG_LOGIC_SOURCES} ${TWG_TOOL_LOGIC_SOURCES})
target_include_directories(twg_logic PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(twg_logic PUBLIC ${TWG_SANITIZE} -Wall -Wextra -g)
target_link_options(twg_logic PUBLIC ${TWG_SANITIZE})

file(GLOB TWG_UNIT_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cc)
add_executable(twg_unit_tests ${TWG_UNIT_TESTS})
target_link_libraries(twg_unit_tests PRIVATE twg_logic GTest::gtest GTest::gtest_main OpenSSL::Crypto)
include(GoogleTest)
add_test(NAME unit COMMAND twg_unit_tests)

# Benchmarks, not run by ctest (scripts/bench-protreg.sh builds and runs them).
find_package(benchmark QUIET)
if(benchmark_FOUND)
  include(${CMAKE_SOURCE_DIR}/tests/bench/native.cmake)
endif()

# Offline tools, natively.
foreach(tool ${TWG_TOOL_SOURCES})
  get_filename_component(name ${tool} NAME_WE)
  add_executable(${name} ${tool})
  target_link_libraries(${name} PRIVATE twg_logic)
endforeach()

if(TARGET twgstore)
  add_test(NAME tool.twgstore COMMAND ${CMAKE_SOURCE_DIR}/tests/twgstore-cli.sh $<TARGET_FILE:twgstore>)
endif()

# Fuzz targets (libFuzzer needs clang). Each runs briefly as a test.
file(GLOB TWG_FUZZERS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/*_fuzz.cc)
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang" AND TWG_FUZZERS)
  foreach(src ${TWG_FUZZERS})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src} ${TWG_LOGIC_SOURCES} ${TWG_TOOL_LOGIC_SOURCES})
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined -g)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    add_test(NAME fuzz.${name} COMMAND ${name} -max_total_time=20 -rss_limit_mb=2048)
  endforeach()
endif()

# The README's action reference against the export list.
add_test(NAME package.reference COMMAND ${CMAKE_SOURCE_DIR}/tests/check-action-reference.sh
         ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/resources/exports.list)

# Static checks of the two DLLs and the tests that run them under Wine.
set(TWG_WIN32_DIR "" CACHE PATH "build tree of the 32-bit DLL")
set(TWG_WIN64_DIR "" CACHE PATH "build tree of the 64-bit DLL")
set(TWG_WINTEST_DIR "" CACHE PATH "build tree of the Wine test runner and stand-ins")
if(TWG_WIN32_DIR AND TWG_WIN64_DIR)
  add_test(NAME dll.exports COMMAND ${CMAKE_SOURCE_DIR}/tests/check-exports.sh
           ${TWG_WIN32_DIR}/TWGMsI.dll ${TWG_WIN64_DIR}/TWGMsI.dll ${CMAKE_SOURCE_DIR}/resources/exports.list)
  add_test(NAME package.fragment COMMAND ${CMAKE_SOURCE_DIR}/tests/check-package-include.sh
           ${CMAKE_SOURCE_DIR}/package/TWGMsI.wxi ${CMAKE_SOURCE_DIR}/resources/exports.list
           ${TWG_WIN32_DIR}/TWGMsI.dll ${TWG_WIN64_DIR}/TWGMsI.dll)
  add_test(NAME dll.imports COMMAND ${CMAKE_SOURCE_DIR}/tests/check-imports.sh
           ${TWG_WIN32_DIR}/TWGMsI.dll ${CMAKE_SOURCE_DIR}/tests/imports.allowed)
  add_test(NAME dll.loadable COMMAND ${CMAKE_SOURCE_DIR}/tests/check-loadable.py
           ${TWG_WIN32_DIR}/TWGMsI.dll ${TWG_WIN32_DIR}/TWGMsI.map)
  # The same checks on a DLL built with the defaults: each must report its fault.
  add_test(NAME dll.loadable.probe COMMAND ${CMAKE_SOURCE_DIR}/tests/check-loadable.py
           ${TWG_WIN32_DIR}/loadable_probe.dll ${TWG_WIN32_DIR}/loadable_probe.map)
  set_tests_properties(dll.loadable.probe PROPERTIES PASS_REGULAR_EXPRESSION
    "thread-local-storage directory.*exception unwinder.*newer than the Pentium.*(cmov|fcomi|fucomi)")
  add_test(NAME dll.imports.probe COMMAND ${CMAKE_SOURCE_DIR}/tests/check-imports.sh
           ${TWG_WIN32_DIR}/loadable_probe.dll ${CMAKE_SOURCE_DIR}/tests/imports.allowed)
  set_tests_properties(dll.imports.probe PROPERTIES PASS_REGULAR_EXPRESSION
    "wide-character imports without a reason.*kernel32.dll!GetModuleHandleW")
endif()
if(TWG_WIN64_DIR AND TWG_WINTEST_DIR)
  set(TWG_WINE_RUN ${CMAKE_SOURCE_DIR}/scripts/wine-test.sh)
  add_test(NAME wine.prefix COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh ${CMAKE_BINARY_DIR}/wine/template)
  set_tests_properties(wine.prefix PROPERTIES FIXTURES_SETUP wineprefix)
  # One ctest entry per subsystem file: tests/wine/<sub>_test.cc holds suites named <Sub>...
  file(GLOB TWG_WINE_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/*_test.cc)
  foreach(src ${TWG_WINE_FILES})
    get_filename_component(sub ${src} NAME_WE)
    string(REGEX REPLACE "_test$" "" sub ${sub})
    string(SUBSTRING ${sub} 0 1 first)
    string(TOUPPER ${first} first)
    string(SUBSTRING ${sub} 1 -1 rest)
    add_test(NAME wine.${sub} COMMAND ${TWG_WINE_RUN} ${CMAKE_BINARY_DIR}/wine ${sub} "${first}${rest}*")
    set_tests_properties(wine.${sub} PROPERTIES FIXTURES_REQUIRED wineprefix TIMEOUT 1500
      ENVIRONMENT "TWG_WIN64_DIR=${TWG_WIN64_DIR};TWG_WINTEST_DIR=${TWG_WINTEST_DIR};TWG_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
  endforeach()
  # The suites named *Cp932 (double-byte paths and folders) against the real system code page 932.
  add_test(NAME wine.frame_cp932 COMMAND ${TWG_WINE_RUN} ${CMAKE_BINARY_DIR}/wine frame_cp932 "*Cp932.*")
  set_tests_properties(wine.frame_cp932 PROPERTIES FIXTURES_REQUIRED wineprefix TIMEOUT 600
    ENVIRONMENT "LC_ALL=ja_JP.UTF-8;TWG_EXPECT_ACP=932;TWG_WIN64_DIR=${TWG_WIN64_DIR};TWG_WINTEST_DIR=${TWG_WINTEST_DIR};TWG_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
  add_test(NAME package.demo COMMAND ${CMAKE_SOURCE_DIR}/package/check-demo.sh ${CMAKE_BINARY_DIR}/demo)
  set_tests_properties(package.demo PROPERTIES FIXTURES_REQUIRED wineprefix TIMEOUT 900
    ENVIRONMENT "TWG_WIN64_DIR=${TWG_WIN64_DIR};TWG_WINTEST_DIR=${TWG_WINTEST_DIR};TWG_NATIVE_DIR=${CMAKE_BINARY_DIR};TWG_WINE_TEMPLATE=${CMAKE_BINARY_DIR}/wine/template")
endif()
