list(APPEND TWG_LOGIC_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/version_rules.cc
  ${CMAKE_CURRENT_LIST_DIR}/shutdown_rules.cc)
list(APPEND TWG_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/option_watcher.cc
  ${CMAKE_CURRENT_LIST_DIR}/close_window.cc
  ${CMAKE_CURRENT_LIST_DIR}/shutdown_actions.cc
  ${CMAKE_CURRENT_LIST_DIR}/shared_file.cc
  ${CMAKE_CURRENT_LIST_DIR}/old_versions.cc)
