# The libFuzzer targets, included by fuzz/hook.cmake at the end of the configure;
# only the fuzz programs link libFuzzer's main.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(STATUS "fuzz targets need clang; skipped")
  return()
endif()

# The module's sanitizer symbols come from the fuzz program that loads it.
get_target_property(_module_link_options marrowgate LINK_OPTIONS)
if(_module_link_options)
  list(REMOVE_ITEM _module_link_options "-Wl,-z,defs")
  set_target_properties(marrowgate PROPERTIES LINK_OPTIONS "${_module_link_options}")
endif()

function(mg_add_fuzzer name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES} ${MG_FUZZ_DIR}/fuzz_input.cpp ${MG_FUZZ_DIR}/scratch_dir.cpp)
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_property(GLOBAL APPEND PROPERTY MG_FUZZERS ${name})
endfunction()

mg_add_fuzzer(fuzz_bridge SOURCES ${MG_FUZZ_DIR}/bridge_fuzzer.cpp LIBS mg_hostsim)
add_dependencies(fuzz_bridge marrowgate)

mg_add_fuzzer(fuzz_double_buffering SOURCES ${MG_FUZZ_DIR}/double_buffering_fuzzer.cpp LIBS mg_fileio)

mg_add_fuzzer(fuzz_decrypt_file SOURCES ${MG_FUZZ_DIR}/decrypt_file_fuzzer.cpp LIBS mg_hostsim mg_cipher)
add_dependencies(fuzz_decrypt_file marrowgate)

mg_add_fuzzer(fuzz_unseal SOURCES ${MG_FUZZ_DIR}/unseal_fuzzer.cpp LIBS mg_hostsim mg_cipher)
add_dependencies(fuzz_unseal marrowgate)
mg_add_fuzzer(fuzz_phc_string SOURCES ${MG_FUZZ_DIR}/phc_string_fuzzer.cpp LIBS mg_kdf)

mg_add_fuzzer(fuzz_accel SOURCES ${MG_FUZZ_DIR}/accel_fuzzer.cpp LIBS mg_cipher mg_digest mg_checksum)

mg_add_fuzzer(fuzz_age_parser SOURCES ${MG_FUZZ_DIR}/age_parser_fuzzer.cpp LIBS mg_age)

mg_add_fuzzer(fuzz_unseal_file SOURCES ${MG_FUZZ_DIR}/unseal_file_fuzzer.cpp LIBS mg_hostsim mg_age)
add_dependencies(fuzz_unseal_file marrowgate)

find_package(OpenSSL QUIET)
if(OPENSSL_FOUND)
  mg_add_fuzzer(fuzz_openssl SOURCES ${MG_FUZZ_DIR}/openssl_fuzzer.cpp LIBS mg_cipher mg_digest mg_hostsim OpenSSL::Crypto)
  add_dependencies(fuzz_openssl marrowgate)
endif()

# The list that fuzz/run.sh runs.
get_property(_fuzzers GLOBAL PROPERTY MG_FUZZERS)
string(REPLACE ";" "\n" _fuzzer_lines "${_fuzzers}")
file(WRITE ${CMAKE_BINARY_DIR}/fuzzers.txt "${_fuzzer_lines}\n")
add_custom_target(fuzzers)
add_dependencies(fuzzers ${_fuzzers})
