list(APPEND TWG_LOGIC_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/blowfish.cc
  ${CMAKE_CURRENT_LIST_DIR}/blowfish_tables.cc
  ${CMAKE_CURRENT_LIST_DIR}/sha1.cc
  ${CMAKE_CURRENT_LIST_DIR}/text_form.cc
  ${CMAKE_CURRENT_LIST_DIR}/value_codec.cc
  ${CMAKE_CURRENT_LIST_DIR}/key_info.cc
  ${CMAKE_CURRENT_LIST_DIR}/key_path.cc)
