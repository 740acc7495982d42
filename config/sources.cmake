list(APPEND TWG_LOGIC_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/signature_import.cc
  ${CMAKE_CURRENT_LIST_DIR}/dependency_list.cc
  ${CMAKE_CURRENT_LIST_DIR}/settings_text.cc)
list(APPEND TWG_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/eula.cc
  ${CMAKE_CURRENT_LIST_DIR}/config_registry.cc
  ${CMAKE_CURRENT_LIST_DIR}/signature_action.cc
  ${CMAKE_CURRENT_LIST_DIR}/service_dependencies.cc
  ${CMAKE_CURRENT_LIST_DIR}/settings_actions.cc
  ${CMAKE_CURRENT_LIST_DIR}/event_logs.cc)
