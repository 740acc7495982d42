# TWGMsI.dll. Static runtime so the DLL needs only system DLLs; the export list is generated from
# resources/exports.list so that the 32-bit and 64-bit tables cannot drift apart.
enable_language(RC)
include(${CMAKE_SOURCE_DIR}/cmake/exports.cmake)
twg_write_def(${CMAKE_BINARY_DIR}/TWGMsI.def)

add_library(TWGMsI SHARED ${TWG_LOGIC_SOURCES} ${TWG_WIN_SOURCES}
            ${CMAKE_SOURCE_DIR}/resources/TWGMsI.rc ${CMAKE_BINARY_DIR}/TWGMsI.def)
set_target_properties(TWGMsI PROPERTIES PREFIX "" OUTPUT_NAME TWGMsI)
target_include_directories(TWGMsI PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/resources)
target_compile_definitions(TWGMsI PRIVATE WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0400 WINVER=0x0400
                           _WIN32_IE=0x0400 TWG_BUILDING_DLL)
target_compile_options(TWGMsI PRIVATE -Wall -Wextra -Wno-unused-parameter -Wno-cast-function-type -O2)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${CMAKE_SOURCE_DIR}/resources")
target_link_options(TWGMsI PRIVATE -static -static-libgcc -static-libstdc++ -s)
target_link_libraries(TWGMsI PRIVATE msi advapi32 user32 shell32 ole32 oleaut32 version gdi32)

foreach(tool ${TWG_TOOL_SOURCES})
  get_filename_component(name ${tool} NAME_WE)
  add_executable(${name} ${tool} ${TWG_LOGIC_SOURCES} ${TWG_TOOL_LOGIC_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_options(${name} PRIVATE -static -static-libgcc -static-libstdc++)
endforeach()
