# Shared by the tool_*.cmake scripts: runs the tool in a scratch folder, with
# relative file names so that messages are the same everywhere, and checks exit
# status and output. Every failed check is reported, and fails the script.
cmake_minimum_required(VERSION 3.25)
string(REPLACE "|" ";" MG_EMULATOR "${EMULATOR}")
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
file(WRITE "${WORK}/empty.txt" "")

function(mg_fail what)
  message(SEND_ERROR "${what}")
endfunction()

# mg_tool(ARGS arg... [RC n] [INPUT file] [OUT text] [OUT_LIKE regex] [OUT_LEN n]
#         [ERR text] [ERR_LIKE regex] [OUT_VAR name])
# OUT and ERR compare the whole output, without its final line break; OUT_LEN
# counts its characters (CMake's regular expressions have no {n}). An empty
# argument cannot travel through a CMake list: write --name= instead.
function(mg_tool)
  cmake_parse_arguments(T "" "RC;INPUT;OUT;OUT_LIKE;OUT_LEN;ERR;ERR_LIKE;OUT_VAR" "ARGS" ${ARGN})
  if(NOT DEFINED T_RC)
    set(T_RC 0)
  endif()
  if(NOT DEFINED T_INPUT)
    set(T_INPUT empty.txt)
  endif()
  # Files rather than pipes: a helper the emulator leaves running (Wine's server) would hold a pipe open.
  execute_process(COMMAND ${MG_EMULATOR} ${TOOL} ${T_ARGS}
                  WORKING_DIRECTORY "${WORK}" INPUT_FILE "${WORK}/${T_INPUT}"
                  RESULT_VARIABLE rc OUTPUT_FILE "${WORK}/.stdout" ERROR_FILE "${WORK}/.stderr")
  file(READ "${WORK}/.stdout" out)
  file(READ "${WORK}/.stderr" err)
  foreach(v out err)
    string(REPLACE "\r" "" ${v} "${${v}}")
    string(REGEX REPLACE "\n$" "" ${v} "${${v}}")
  endforeach()
  list(JOIN T_ARGS " " shown)
  set(run "marrowgate ${shown}\n  exit ${rc}\n  stdout: [${out}]\n  stderr: [${err}]")
  if(NOT "${rc}" STREQUAL "${T_RC}")
    mg_fail("expected exit status ${T_RC}:\n  ${run}")
  endif()
  if(DEFINED T_OUT AND NOT "${out}" STREQUAL "${T_OUT}")
    mg_fail("expected stdout [${T_OUT}]:\n  ${run}")
  endif()
  if(DEFINED T_OUT_LIKE AND NOT "${out}" MATCHES "${T_OUT_LIKE}")
    mg_fail("expected stdout like ${T_OUT_LIKE}:\n  ${run}")
  endif()
  string(LENGTH "${out}" length)
  if(DEFINED T_OUT_LEN AND NOT length EQUAL T_OUT_LEN)
    mg_fail("expected ${T_OUT_LEN} characters on stdout:\n  ${run}")
  endif()
  if(DEFINED T_ERR AND NOT "${err}" STREQUAL "${T_ERR}")
    mg_fail("expected stderr [${T_ERR}]:\n  ${run}")
  endif()
  if(DEFINED T_ERR_LIKE AND NOT "${err}" MATCHES "${T_ERR_LIKE}")
    mg_fail("expected stderr like ${T_ERR_LIKE}:\n  ${run}")
  endif()
  if(T_OUT_VAR)
    set(${T_OUT_VAR} "${out}" PARENT_SCOPE)
  endif()
endfunction()

function(mg_expect_equal what got expected)
  if(NOT "${got}" STREQUAL "${expected}")
    mg_fail("${what}:\n  got      [${got}]\n  expected [${expected}]")
  endif()
endfunction()

# The bytes of a file in the scratch folder as lower-case hex.
function(mg_file_hex path var)
  set(hex "")
  if(EXISTS "${WORK}/${path}")
    file(READ "${WORK}/${path}" hex HEX)
  else()
    mg_fail("${path} was not written")
  endif()
  set(${var} "${hex}" PARENT_SCOPE)
endfunction()

function(mg_expect_file_hex path expected)
  mg_file_hex(${path} got)
  string(TOLOWER "${expected}" expected)
  mg_expect_equal("contents of ${path}" "${got}" "${expected}")
endfunction()

function(mg_write path text)
  file(WRITE "${WORK}/${path}" "${text}")
endfunction()
