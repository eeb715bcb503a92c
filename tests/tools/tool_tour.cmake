# The demonstration that the README's first command runs.
include(${CMAKE_CURRENT_LIST_DIR}/tool_test.cmake)
mg_tool(ARGS tour OUT_LIKE "^marrowgate tour\n.*\nAll [0-9]+ checks passed.$" OUT_VAR report)
if(report MATCHES "FAILED")
  mg_fail("the tour reported a failed check")
endif()
