# ENCRYPT and DECRYPT through the tool: cipher names and numbers, data, key
# and IV sources, output forms, and the errors that argument values can cause.
include(${CMAKE_CURRENT_LIST_DIR}/tool_test.cmake)

# FIPS-197 appendix C.1 and NIST SP 800-38A F.2.1 (AES-128 CBC with an IV).
mg_tool(ARGS encrypt --hex 00112233445566778899aabbccddeeff --key-hex 000102030405060708090a0b0c0d0e0f -t aes128
        OUT 69c4e0d86a7b0430d8cdb78070b4c55a)
mg_tool(ARGS encrypt --hex 6bc1bee22e409f96e93d7e117393172a --key-hex 2b7e151628aed2a6abf7158809cf4f3c -t aes128
        -m cbc --iv-hex 000102030405060708090a0b0c0d0e0f OUT 7649abac8119b246cee98e9b12e9197d)
# The published Blowfish ECB set, the published XTEA set (big-endian words)
# and RFC 6229 (RC4, 40-bit key, keystream offset 0).
mg_tool(ARGS encrypt --hex 0123456789abcdef --key-hex fedcba9876543210 -t 4 OUT 0aceab0fc6a0a28d)
mg_tool(ARGS encrypt --hex 4142434445464748 --key-hex 000102030405060708090a0b0c0d0e0f -t tea OUT 497df3d072612cb5)
mg_tool(ARGS encrypt --hex 00000000000000000000000000000000 --key-hex 0102030405 -t rc4
        OUT b2396305f03dc027ccc3524a0a1118a8)

# Without options the tool passes nothing, and the library's defaults apply.
string(REPEAT "a" 32 a32)
mg_tool(ARGS encrypt ${a32} --key k OUT_LIKE "^[0-9a-f]+$" OUT_LEN 64 OUT_VAR default32)
mg_tool(ARGS encrypt ${a32} --key k -t rijndael -m ecb -p zeros --key-size 32 --block-size 32 OUT "${default32}")

# Round trips: base64 out and in; files out and in; key and IV from files.
mg_tool(ARGS encrypt "attack at dawn" --key secret -t blowfish -m cbc -p count -f base64 OUT_VAR sealed)
mg_tool(ARGS decrypt --base64 "${sealed}" --key secret -t blowfish -m cbc -p pkcs7 -f hex
        OUT 61747461636b206174206461776e0202)
mg_write(secret.key "secret")
mg_write(iv.txt "0123456789abcdef")
mg_write(plain.txt "The quick brown fox jumps over the lazy dog")
mg_tool(ARGS encrypt --in plain.txt --key-file secret.key -t aes256 -m cfb -p x923 --iv-file iv.txt -o sealed.bin)
mg_tool(ARGS decrypt --in sealed.bin --key secret -t aes256 -m cfb -p x923 --iv 0123456789abcdef -o opened.bin)
mg_file_hex(plain.txt plain_hex)
mg_expect_file_hex(opened.bin ${plain_hex}0000000005)
mg_tool(ARGS encrypt --in plain.txt --key secret -t tea -m ofb -p spaces -f hex -o sealed.hex)
mg_tool(ARGS decrypt --in sealed.hex --in-format hex --key secret -t tea -m ofb -p spaces
        OUT "The quick brown fox jumps over the lazy dog     ")
mg_tool(ARGS encrypt --in plain.txt --key k -t rc4 OUT_LIKE "^[0-9a-f]+$" OUT_LEN 86)  # RC4 keeps the length

# Errors: the library's messages as they come (exit 1), usage errors (exit 2).
mg_tool(ARGS encrypt abc --key= RC 1 ERR "FileCrypt ERROR: Key Data Length should be > 0!")
mg_tool(ARGS encrypt --hex= --key k RC 1 ERR "Illegal Block Size!")
mg_tool(ARGS encrypt abc RC 2 ERR_LIKE "^marrowgate encrypt: missing key.*\nTry 'marrowgate encrypt --help'.$")
mg_tool(ARGS encrypt abc --key k --key-hex 00 RC 2 ERR_LIKE "--key and --key-hex cannot be used together")
mg_tool(ARGS encrypt abc --key k -t aes128 --key-size 32 RC 2 ERR_LIKE "aes128 fixes --key-size to 16")
mg_tool(ARGS encrypt abc --key k -t serpent RC 2 ERR_LIKE "unknown cipher type 'serpent'")
mg_tool(ARGS encrypt abc --key k -m ctr RC 2 ERR_LIKE "unknown mode 'ctr'")
mg_tool(ARGS encrypt abc --key k -p pkcs5 RC 2 ERR_LIKE "unknown padding 'pkcs5'")
mg_tool(ARGS encrypt --hex 0g --key k RC 2 ERR_LIKE "--hex is not valid hex")
mg_tool(ARGS encrypt --base64 "YWJ" --key k RC 2 ERR_LIKE "--base64 is not valid base64")
mg_tool(ARGS encrypt abc --hex 00 --key k RC 2 ERR_LIKE "either as TEXT or")
mg_tool(ARGS encrypt abc --key k --block-size 99999999999 RC 2 ERR_LIKE "invalid --block-size")
mg_tool(ARGS encrypt abc --key k -f octal RC 2 ERR_LIKE "unknown format 'octal'")
mg_tool(ARGS decrypt --in missing.bin --key k RC 1 ERR "marrowgate: cannot open missing.bin")

# SEAL and UNSEAL: round trip with a context, and the library's refusals.
set(k32 000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f)
mg_tool(ARGS seal "card 4111" --key-hex ${k32} --context customers:42 OUT_LIKE "^[0-9a-f]+$" OUT_LEN 74
        OUT_VAR sealedHex)
mg_tool(ARGS unseal --hex ${sealedHex} --key-hex ${k32} --context customers:42 OUT "card 4111")
mg_tool(ARGS unseal --hex ${sealedHex} --key-hex ${k32} --context customers:43 RC 1
        ERR "Seal ERROR: Sealed data is not authentic!")
mg_tool(ARGS unseal --hex ${sealedHex} --key-hex ${k32} RC 1 ERR "Seal ERROR: Sealed data is not authentic!")
mg_tool(ARGS seal abc --key short RC 1 ERR "Seal ERROR: Key must be 16, 24 or 32 bytes!")
mg_tool(ARGS unseal --hex 00 --key-hex ${k32} RC 1 ERR "Seal ERROR: Sealed data is too short!")
mg_tool(ARGS seal --hex= --key 0123456789abcdef -f hex OUT_LIKE "^[0-9a-f]+$" OUT_LEN 56)
