# ENCRYPTFILE and DECRYPTFILE through the tool: round trips, the header, and
# the library's messages (the sizes and header checks are tested with the library).
include(${CMAKE_CURRENT_LIST_DIR}/tool_test.cmake)

# 2080 bytes: several 384-byte chunks and a short final one.
string(REPEAT "Pack my box with five dozen liquor jugs. 0123456789\n" 40 text)
mg_write(plain.txt "${text}")
mg_file_hex(plain.txt original)

foreach(settings "-t;aes256;-m;ofb;-p;random-count" "-t;blowfish;-m;cbc;-p;spaces" "-t;tea;-m;cfb" "-t;rc4")
  mg_tool(ARGS encryptfile plain.txt sealed.bin --key "file key" ${settings} OUT_LIKE "^$")
  mg_tool(ARGS decryptfile sealed.bin opened.txt --key "file key" ${settings} OUT_LIKE "^$")
  mg_expect_file_hex(opened.txt "${original}")
  file(REMOVE "${WORK}/opened.txt")
endforeach()

# The header is SHA-1 of "RIJNDAEL", the key store (the key repeated to the
# key size), then block size, key size, mode and padding as decimal numbers;
# with the count padding the body is ENCRYPT of the whole text.
mg_write(short.txt "A short text of 36 bytes, not whole.")
mg_tool(ARGS encryptfile short.txt short.rij --key 0123456789abcdef -m cbc -p count)
mg_tool(ARGS hash "RIJNDAEL0123456789abcdef0123456789abcdef323212" -t sha1 OUT_VAR signature)
mg_tool(ARGS encrypt --in short.txt --key 0123456789abcdef -m cbc -p count OUT_VAR body)
mg_expect_file_hex(short.rij "${signature}000000000000000000000000${body}")

# A wrong key fails the header check with the library's message and leaves
# an existing output file as it was.
mg_write(kept.txt "keep me")
mg_tool(ARGS decryptfile short.rij kept.txt --key wrong -m cbc -p count RC 1
        ERR "FileCrypt ERROR: File short.rij cannot be Correctly Decrypted!")
mg_expect_file_hex(kept.txt 6b656570206d65)

mg_tool(ARGS encryptfile missing.txt out.bin --key k RC 1 ERR "FileCrypt ERROR: Cannot open File missing.txt!")
mg_tool(ARGS encryptfile plain.txt no/such/folder/out.bin --key k RC 1
        ERR "FileCrypt ERROR: Cannot open File no/such/folder/out.bin!")
mg_tool(ARGS encryptfile plain.txt ./plain.txt --key k RC 1
        ERR "FileCrypt ERROR: The same File for Input and Output plain.txt!")
mg_tool(ARGS encryptfile plain.txt ./plain.txt --key k -t rc4 RC 1
        ERR "Input and Output files cannot be the same plain.txt!")
mg_tool(ARGS decryptfile missing.txt out.bin --key k -t rc4 RC 1 ERR "Unable to open input file missing.txt!")
mg_expect_file_hex(plain.txt "${original}")
mg_tool(ARGS encryptfile plain.txt RC 2 ERR_LIKE "missing input and output file names")
mg_tool(ARGS decryptfile a b c --key k RC 2 ERR_LIKE "unexpected argument 'c'")
