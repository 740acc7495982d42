set(TWG_PROTREG_LOGIC
  ${CMAKE_CURRENT_LIST_DIR}/blowfish.cc
  ${CMAKE_CURRENT_LIST_DIR}/blowfish_tables.cc
  ${CMAKE_CURRENT_LIST_DIR}/sha1.cc
  ${CMAKE_CURRENT_LIST_DIR}/text_form.cc
  ${CMAKE_CURRENT_LIST_DIR}/value_codec.cc
  ${CMAKE_CURRENT_LIST_DIR}/key_info.cc
  ${CMAKE_CURRENT_LIST_DIR}/key_path.cc)
set(TWG_PROTREG_WIN
  ${CMAKE_CURRENT_LIST_DIR}/store.cc
  ${CMAKE_CURRENT_LIST_DIR}/prot_key.cc
  ${CMAKE_CURRENT_LIST_DIR}/key_integrity.cc
  ${CMAKE_CURRENT_LIST_DIR}/crypt_reg.cc
  ${CMAKE_CURRENT_LIST_DIR}/prot_reg.cc
  ${CMAKE_CURRENT_LIST_DIR}/prot_reg_security.cc)
list(APPEND TWG_LOGIC_SOURCES ${TWG_PROTREG_LOGIC})
list(APPEND TWG_WIN_SOURCES ${TWG_PROTREG_WIN})
# The store's API has no exports: the Wine tests and the benchmark link these in and call it directly.
set(TWG_PROTREG_UNDER_TEST ${TWG_PROTREG_LOGIC} ${TWG_PROTREG_WIN})
