list(APPEND TWG_LOGIC_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/version_rules.cc
  ${CMAKE_CURRENT_LIST_DIR}/shutdown_rules.cc)
