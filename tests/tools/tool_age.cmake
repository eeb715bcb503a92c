# SEALFILE, UNSEALFILE and the identity functions through the tool; the format
# itself is tested with the library.
include(${CMAKE_CURRENT_LIST_DIR}/tool_test.cmake)

string(REPEAT "Sphinx of black quartz, judge my vow.\n" 3000 text)
mg_write(plain.txt "${text}")
mg_file_hex(plain.txt original)

mg_tool(ARGS identity -o key.txt OUT_LIKE "^$")
file(STRINGS "${WORK}/key.txt" lines)
list(GET lines 0 comment)
list(GET lines 1 identity)
string(REPLACE "# public key: " "" recipient "${comment}")
mg_tool(ARGS identity --recipient "${identity}" OUT "${recipient}")
mg_tool(ARGS identity --recipient nonsense RC 1 ERR_LIKE "SealFile ERROR: Not a valid identity!")

mg_tool(ARGS sealfile plain.txt sealed.age -r "${recipient}" OUT_LIKE "^$")
mg_tool(ARGS unsealfile sealed.age opened.txt -i key.txt OUT_LIKE "^$")
mg_expect_file_hex(opened.txt "${original}")

# A wrong identity leaves an existing output as it was.
mg_write(kept.txt "keep me")
mg_tool(ARGS unsealfile sealed.age kept.txt --key AGE-SECRET-KEY-1GFPYYSJZGFPYYSJZGFPYYSJZGFPYYSJZGFPYYSJZGFPYYSJZGFPQ4EGAEX
        RC 1 ERR_LIKE "SealFile ERROR: No key opens File sealed.age!")
mg_file_hex(kept.txt kept)
mg_tool(ARGS sealfile plain.txt other.age RC 2 ERR_LIKE "give either --recipient")
mg_tool(ARGS sealfile plain.txt other.age -r age1nope RC 1 ERR_LIKE "SealFile ERROR: Not a valid recipient: age1nope!")
