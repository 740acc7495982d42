# The value protection (codec/) the API is built on, and the move into the store (migrate/).
include(${CMAKE_CURRENT_LIST_DIR}/codec/sources.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/migrate/sources.cmake)
# The protected registry API and the access layer over it.
set(TWG_PROTREG_WIN
  ${CMAKE_CURRENT_LIST_DIR}/store.cc
  ${CMAKE_CURRENT_LIST_DIR}/prot_key.cc
  ${CMAKE_CURRENT_LIST_DIR}/key_integrity.cc
  ${CMAKE_CURRENT_LIST_DIR}/crypt_reg.cc
  ${CMAKE_CURRENT_LIST_DIR}/prot_reg.cc
  ${CMAKE_CURRENT_LIST_DIR}/prot_reg_security.cc)
list(APPEND TWG_WIN_SOURCES ${TWG_PROTREG_WIN})
# The store's API has no exports: the Wine tests and the benchmark link these in and call it directly.
set(TWG_PROTREG_UNDER_TEST ${TWG_PROTREG_LOGIC} ${TWG_PROTREG_WIN})
