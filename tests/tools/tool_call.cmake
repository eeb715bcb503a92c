# "call": expressions in the host's syntax, nesting, and results shown as the
# host shows them. The literal forms themselves are unit-tested.
include(${CMAKE_CURRENT_LIST_DIR}/tool_test.cmake)

mg_tool(ARGS call "Hash(0H6162 + [c], (5))" OUT 0h900150983CD24FB0D6963F7D28E17F72)

# Numbers show as numbers; unary minus and '+' on numbers; a whole number
# where an integer is declared is passed as one, as the host does.
mg_tool(ARGS call "CRC('abc')" OUT 3395655888)
mg_tool(ARGS call "CRC('abc', CRC('', 2) + 1)" OUT 40406)
mg_tool(ARGS call "-CRC('abc', 1)" OUT -40406)

mg_tool(ARGS call "GENERATEKEY(3 + 4, .f., .t.)" OUT_LIKE "^[a-zA-Z]+$" OUT_LEN 7)  # logicals

# Nesting: results travel as raw bytes from one call into the next.
mg_tool(ARGS call "DECRYPT(ENCRYPT('secret message', 'k3y', 4, 1, 2), 'k3y', 4, 1, 2)"
        OUT 0h736563726574206D6573736167650202)
mg_tool(ARGS call "HMAC('Hi There', 0h0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b, 2)"
        OUT 0hB0344C61D8DB38535CA8AFCEAF0BF12B881DC200C9833DA726E9376C2E32CFF7)

# A function that returns nothing shows the host's default result.
mg_write(plain.txt "call me")
mg_tool(ARGS call "ENCRYPTFILE('plain.txt', 'plain.bin', 'k', 1024)" OUT ".T.")
mg_tool(ARGS call "DECRYPTFILE('plain.bin', 'back.txt', 'k', 1024)" OUT ".T.")
mg_expect_file_hex(back.txt 63616c6c206d65)
mg_tool(ARGS call "CRC('x')" -o crc.txt OUT_LIKE "^$")
mg_expect_file_hex(crc.txt 313539313637313035340a)

# Syntax and unknown functions are usage errors, found before anything runs;
# failures of the calls come back as the library or the host reports them.
mg_tool(ARGS call "ENCRYPTFILE('plain.txt', 'early.bin', 'k', 1024) + HASH('abc'" RC 2
        ERR_LIKE "syntax error at column [0-9]+: ',' or '\\)' expected")
if(EXISTS "${WORK}/early.bin")
  mg_fail("a call ran before the syntax error was found")
endif()
mg_tool(ARGS call "HASH('abc)" RC 2 ERR_LIKE "string not closed with '")
mg_tool(ARGS call "HASH(0h123, 1)" RC 2 ERR_LIKE "even number of hex digits")
mg_tool(ARGS call "HASH('a') x" RC 2 ERR_LIKE "unexpected 'x'")
mg_tool(ARGS call "HASH('a', .X.)" RC 2 ERR_LIKE "expected .T. or .F.")
mg_tool(ARGS call "NOSUCH(1)" RC 2 ERR_LIKE "unknown function NOSUCH; the library has ENCRYPT, DECRYPT")
mg_tool(ARGS call "HASH" RC 2 ERR_LIKE "'\\(' expected after HASH")
mg_tool(ARGS call RC 2 ERR_LIKE "missing expression")
mg_tool(ARGS call "HASH('a', 1, 2)" RC 1 ERR "Function argument value, type, or count is invalid")
mg_tool(ARGS call "1 + 'a'" RC 1 ERR "Operator/operand type mismatch.")
mg_tool(ARGS call "DECRYPT('abcde', 'k')" RC 1 ERR "Illegal Block Size!")
