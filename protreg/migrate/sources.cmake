# Moving the configuration into the store, its backups, and its removal.
list(APPEND TWG_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/registry_tree.cc
  ${CMAKE_CURRENT_LIST_DIR}/reencrypt.cc)
