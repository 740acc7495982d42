list(APPEND TWG_LOGIC_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/update_rules.cc)
list(APPEND TWG_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/registration.cc
  ${CMAKE_CURRENT_LIST_DIR}/install_ud.cc
  ${CMAKE_CURRENT_LIST_DIR}/check_actions.cc
  ${CMAKE_CURRENT_LIST_DIR}/removal_actions.cc)
