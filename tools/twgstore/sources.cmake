# Offline reading, checking and re-sealing of the store's backup exports (the twgstore tool).
list(APPEND TWG_TOOL_LOGIC_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/reg_export.cc
  ${CMAKE_CURRENT_LIST_DIR}/store_export.cc)
list(APPEND TWG_TOOL_SOURCES ${CMAKE_CURRENT_LIST_DIR}/twgstore.cc)
