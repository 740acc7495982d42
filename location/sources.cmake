list(APPEND TWG_LOGIC_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/folder_text.cc)
list(APPEND TWG_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/folder_lookups.cc
  ${CMAKE_CURRENT_LIST_DIR}/path_tests.cc
  ${CMAKE_CURRENT_LIST_DIR}/install_path_check.cc
  ${CMAKE_CURRENT_LIST_DIR}/path_form_actions.cc)
