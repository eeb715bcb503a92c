# Help, usage errors and exit statuses of the tool itself.
include(${CMAKE_CURRENT_LIST_DIR}/tool_test.cmake)

mg_tool(RC 2 ERR_LIKE "^usage: marrowgate COMMAND")
mg_tool(ARGS --help OUT_LIKE "^usage: marrowgate COMMAND.*tour")
# The tool's version and the one the module file carries (on Windows its
# version resource, read as host programs read it), both from the project's.
mg_tool(ARGS --version OUT_LIKE "^marrowgate ${VERSION}\nmodule ${VERSION} \\(.*marrowgate(64)?\\.(so|fll)\\)$")
set(ENV{MG_MODULE} empty.txt)
mg_tool(ARGS --version RC 1 OUT "marrowgate ${VERSION}" ERR_LIKE "^marrowgate: empty.txt ")
unset(ENV{MG_MODULE})
foreach(command encrypt decrypt encryptfile decryptfile hash hmac hashfile crc crcfile genkey getrecstr hashrecord
                sealfile unsealfile identity
                crcrecord call functions tour)
  mg_tool(ARGS ${command} --help OUT_LIKE "^usage: marrowgate ${command}.*Options:.*Examples:\n  marrowgate ${command}")
endforeach()
mg_tool(ARGS help hashfile OUT_LIKE "^usage: marrowgate hashfile")
# Every defaulted option says what its default is.
mg_tool(ARGS encrypt --help OUT_LIKE "default 2 = rijndael.*default ecb.*default zeros.*default by type.*default 32.*default all zero bytes")

mg_tool(ARGS frob RC 2 ERR "marrowgate: unknown command 'frob'\nTry 'marrowgate --help'.")
mg_tool(ARGS help frob RC 2 ERR_LIKE "unknown command 'frob'")
mg_tool(ARGS hash abc --bogus RC 2 ERR "marrowgate hash: unknown option --bogus\nTry 'marrowgate hash --help'.")
mg_tool(ARGS hash abc -t RC 2 ERR_LIKE "option -t needs a value \\(TYPE\\)")
mg_tool(ARGS genkey 4 --digits=yes RC 2 ERR_LIKE "option --digits takes no value")
mg_tool(ARGS hash abc -t sha3 RC 2 ERR_LIKE "unknown hash type 'sha3'; use a number or one of: sha1 \\(1\\)")
mg_tool(ARGS hash abc def RC 2 ERR_LIKE "unexpected argument 'def'")

# GENERATEKEY: the switches reach the library; a length of 0 or less gives
# the empty key.
mg_tool(ARGS genkey 16 OUT_LIKE "^[a-z]+$" OUT_LEN 16)
mg_tool(ARGS genkey 40 -d --upper -s OUT_LIKE "^[!-~]+$" OUT_LEN 40)
mg_tool(ARGS genkey 8 -f hex OUT_LIKE "^[0-9a-f]+$" OUT_LEN 16)
mg_tool(ARGS genkey -5 OUT_LIKE "^$")
mg_tool(ARGS genkey RC 2 ERR_LIKE "missing key length")
mg_tool(ARGS genkey many RC 2 ERR_LIKE "invalid key length 'many'")

mg_tool(ARGS functions OUT_LIKE "^ENCRYPT +8 +\"C,C,.I,.I,.I,.I,.I,.C\" +ENCRYPT\\(cData, cKey .*\nONLOAD +-2 +\"\"" OUT_VAR table)
string(REGEX MATCHALL "\n" lines "${table}")
list(LENGTH lines count)
mg_expect_equal("lines of the function table" "${count}" 22)
