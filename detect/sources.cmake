list(APPEND TWG_LOGIC_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/detect_rules.cc
  ${CMAKE_CURRENT_LIST_DIR}/ie_version.cc)
list(APPEND TWG_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/system_query.cc
  ${CMAKE_CURRENT_LIST_DIR}/terminal_server.cc
  ${CMAKE_CURRENT_LIST_DIR}/platform_actions.cc
  ${CMAKE_CURRENT_LIST_DIR}/user_type.cc
  ${CMAKE_CURRENT_LIST_DIR}/component_actions.cc)
