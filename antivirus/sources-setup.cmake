list(APPEND TWG_LOGIC_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/string_replace.cc)
list(APPEND TWG_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/file_replace.cc
  ${CMAKE_CURRENT_LIST_DIR}/setup_window.cc
  ${CMAKE_CURRENT_LIST_DIR}/nested_setup.cc)
