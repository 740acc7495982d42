# Value protection: cipher, digest, text form, item codec, integrity records, encoded key paths.
# Windows-free, so it is built natively too and the offline tool shares it.
set(TWG_PROTREG_LOGIC
  ${CMAKE_CURRENT_LIST_DIR}/blowfish.cc
  ${CMAKE_CURRENT_LIST_DIR}/blowfish_tables.cc
  ${CMAKE_CURRENT_LIST_DIR}/sha1.cc
  ${CMAKE_CURRENT_LIST_DIR}/text_form.cc
  ${CMAKE_CURRENT_LIST_DIR}/value_codec.cc
  ${CMAKE_CURRENT_LIST_DIR}/key_info.cc
  ${CMAKE_CURRENT_LIST_DIR}/key_path.cc
  ${CMAKE_CURRENT_LIST_DIR}/stored_item.cc)
list(APPEND TWG_LOGIC_SOURCES ${TWG_PROTREG_LOGIC})
