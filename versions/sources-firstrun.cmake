# The first-run integration probe and the global-name object creators.
list(APPEND TWG_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/global_names.cc
  ${CMAKE_CURRENT_LIST_DIR}/first_run.cc)
