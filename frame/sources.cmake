list(APPEND TWG_LOGIC_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/mbcs.cc
  ${CMAKE_CURRENT_LIST_DIR}/log_time.cc)
list(APPEND TWG_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/action_frame.cc
  ${CMAKE_CURRENT_LIST_DIR}/install_log.cc
  ${CMAKE_CURRENT_LIST_DIR}/path_chars.cc
  ${CMAKE_CURRENT_LIST_DIR}/process.cc
  ${CMAKE_CURRENT_LIST_DIR}/property_table.cc
  ${CMAKE_CURRENT_LIST_DIR}/reboot_actions.cc)
