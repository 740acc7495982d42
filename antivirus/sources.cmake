# The companion antivirus product's presence, state and failure reports, and the detection of other
# makers' antivirus products.
list(APPEND TWG_LOGIC_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/companion_rules.cc
  ${CMAKE_CURRENT_LIST_DIR}/other_av_match.cc)
list(APPEND TWG_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/presence_actions.cc
  ${CMAKE_CURRENT_LIST_DIR}/failure_reports.cc
  ${CMAKE_CURRENT_LIST_DIR}/shortcut_action.cc
  ${CMAKE_CURRENT_LIST_DIR}/nested_source.cc
  ${CMAKE_CURRENT_LIST_DIR}/other_av.cc)
