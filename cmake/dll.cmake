# TWGMsI.dll. Static runtime so the DLL needs only system DLLs; the export list is generated from
# resources/exports.list so that the 32-bit and 64-bit tables cannot drift apart. The library's code is
# compiled once and linked into the DLL and into the Windows builds of the offline tools.
enable_language(RC)
include(${CMAKE_SOURCE_DIR}/cmake/exports.cmake)
twg_write_def(${CMAKE_BINARY_DIR}/TWGMsI.def)

set(TWG_WIN_LIBS msi advapi32 user32 shell32 ole32 oleaut32 version gdi32)
add_library(twg_code OBJECT ${TWG_LOGIC_SOURCES} ${TWG_WIN_SOURCES})
target_include_directories(twg_code PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/resources)
target_compile_definitions(twg_code PUBLIC WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0400 WINVER=0x0400
                           _WIN32_IE=0x0400 TWG_BUILDING_DLL)
target_compile_options(twg_code PRIVATE -Wall -Wextra -Wno-unused-parameter -Wno-cast-function-type -O2)
# No exception runtime: in the shipping DLL it would bring prebuilt Pentium Pro code, a TLS directory and
# wide-character locks. Product code reports errors by return codes; frame/dll_runtime.cc supplies
# allocation and the string members with these same flags. The 64-bit DLL is built the same way so that
# the Wine tests run the shipping configuration.
target_compile_options(twg_code PUBLIC -fno-exceptions -fno-rtti)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  # The processors of Windows 95's time: nothing newer than the Pentium. (x86 exception dispatch walks
  # the frame chain, so the 32-bit DLL needs no unwind tables; the 64-bit one keeps them.)
  target_compile_options(twg_code PUBLIC -march=i586 -mtune=generic -fno-asynchronous-unwind-tables)
endif()

add_library(TWGMsI SHARED $<TARGET_OBJECTS:twg_code> ${CMAKE_SOURCE_DIR}/frame/dll_runtime.cc
            ${CMAKE_SOURCE_DIR}/resources/TWGMsI.rc ${CMAKE_BINARY_DIR}/TWGMsI.def)
target_link_libraries(TWGMsI PRIVATE twg_code)
set_target_properties(TWGMsI PROPERTIES PREFIX "" OUTPUT_NAME TWGMsI)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${CMAKE_SOURCE_DIR}/resources")
# windres reports no dependencies, so the files TWGMsI.rc includes are named here: an edited string or
# template must rebuild the DLL.
file(GLOB TWG_RC_INCLUDES ${CMAKE_SOURCE_DIR}/resources/*.rc ${CMAKE_SOURCE_DIR}/resources/*.h
     ${CMAKE_SOURCE_DIR}/resources/templates/*)
set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/TWGMsI.rc PROPERTIES OBJECT_DEPENDS
                            "${TWG_RC_INCLUDES}")
# The map lets tests/check-loadable.py name the object an offending instruction came from.
target_link_options(TWGMsI PRIVATE -static -static-libgcc -static-libstdc++ -s
                    -Wl,--disable-runtime-pseudo-reloc -Wl,-Map=${CMAKE_BINARY_DIR}/TWGMsI.map)
target_link_libraries(TWGMsI PRIVATE ${TWG_WIN_LIBS})

foreach(tool ${TWG_TOOL_SOURCES})
  get_filename_component(name ${tool} NAME_WE)
  add_executable(${name} ${tool} ${TWG_TOOL_LOGIC_SOURCES} $<TARGET_OBJECTS:twg_code>)
  target_link_libraries(${name} PRIVATE twg_code ${TWG_WIN_LIBS})
  target_link_options(${name} PRIVATE -static -static-libgcc -static-libstdc++)
endforeach()

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  # Built like the shipping DLL must not be: the checks of tests/check-loadable.py must fail on it.
  add_library(loadable_probe SHARED ${CMAKE_SOURCE_DIR}/tests/loadable_probe.cc)
  set_target_properties(loadable_probe PROPERTIES PREFIX "")
  target_compile_options(loadable_probe PRIVATE -O2)
  target_link_options(loadable_probe PRIVATE -static -static-libgcc -static-libstdc++
                      -Wl,-Map=${CMAKE_BINARY_DIR}/loadable_probe.map)
endif()
