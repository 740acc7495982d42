list(APPEND TWG_LOGIC_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/cleanup_text.cc)
list(APPEND TWG_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/restart_delete.cc
  ${CMAKE_CURRENT_LIST_DIR}/cleanup_actions.cc
  ${CMAKE_CURRENT_LIST_DIR}/start_menu.cc)
