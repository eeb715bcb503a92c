# HASH, HMAC, HASHFILE, CRC and CRCFILE through the tool.
include(${CMAKE_CURRENT_LIST_DIR}/tool_test.cmake)

# "abc" by name and by number: FIPS 180-2 (SHA), RFC 1321 (MD5) and the
# RIPEMD authors' published set.
set(SHA512_ABC "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f")
mg_tool(ARGS hash abc -t SHA-256 OUT ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad)
mg_tool(ARGS hash abc -t 7 OUT 8eb208f7e05d987a9b044a8e98c6b087f15a0bfc)
mg_tool(ARGS hash abc OUT ${SHA512_ABC})
# Numbers the library does not know mean its default, SHA-512.
mg_tool(ARGS hash abc -t 9 OUT ${SHA512_ABC})

# Data from standard input and the output forms (the other data sources are run with encrypt).
mg_write(abc.txt "abc")
mg_tool(ARGS hash -t md5 INPUT abc.txt OUT 900150983cd24fb0d6963f7d28e17f72)
mg_tool(ARGS hash abc -t md5 -o md5.bin OUT_LIKE "^$")
mg_expect_file_hex(md5.bin 900150983cd24fb0d6963f7d28e17f72)
mg_tool(ARGS hash abc -t md5 -o md5.hex -f hex)
mg_expect_file_hex(md5.hex 39303031353039383363643234666230643639363366376432386531376637320a)
mg_tool(ARGS hash -t sha1 OUT da39a3ee5e6b4b0d3255bfef95601890afd80709)

# HMAC: RFC 4231 case 1, RFC 2202 case 2, and an empty key and message.
mg_tool(ARGS hmac "Hi There" --key-hex 0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b -t sha256
        OUT b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7)
mg_tool(ARGS hmac "what do ya want for nothing?" --key Jefe -t md5 OUT 750c783e6ab0b503eaa86e310a5db738)
mg_tool(ARGS hmac --hex= --key= -t sha256 OUT b613679a0814d9ec772f95d778c35fc5ff1697c493715653c6c712144292c5ad)
mg_tool(ARGS hmac abc RC 2 ERR_LIKE "missing key")

# HASHFILE: the digest of the contents, of the empty message for an empty
# file, and the library's message for a missing one.
mg_tool(ARGS hashfile abc.txt -t sha256 OUT ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad)
mg_tool(ARGS hashfile empty.txt -t sha1 OUT da39a3ee5e6b4b0d3255bfef95601890afd80709)
mg_tool(ARGS hashfile missing.bin RC 1
        ERR "FileDigest ERROR: in IMessageDigest::DigestFile(): Cannot open File missing.bin!")
mg_tool(ARGS hashfile RC 2 ERR_LIKE "missing file name")

# CRC: the published check values of both engines, as numbers and as hex.
mg_tool(ARGS crc 123456789 OUT 771566984)
mg_tool(ARGS crc 123456789 -f hex OUT 2dfd2d88)
mg_tool(ARGS crc 123456789 -t crc16 OUT 12739)
mg_tool(ARGS crc --hex 610062 OUT 3936985443)  # not that of "a": the bytes after a zero byte count
mg_tool(ARGS crc abc -f octal RC 2 ERR_LIKE "unknown format 'octal'")
mg_tool(ARGS crc abc -o crc.txt)
mg_expect_file_hex(crc.txt 333339353635353838380a)
mg_tool(ARGS crcfile abc.txt OUT 3395655888)
# A file that cannot be read: the library's 0 as the result, the reason on
# standard error and status 1, as checksum programs do. An empty file's CRC is
# 0 too, and is not a failure.
mg_tool(ARGS crcfile missing.bin OUT 0 RC 1 ERR_LIKE "^marrowgate crcfile: cannot read missing.bin: ")
mg_tool(ARGS crcfile . -t crc16 OUT 0 RC 1 ERR_LIKE "^marrowgate crcfile: cannot read \\.: ")
mg_tool(ARGS crcfile empty.txt OUT 0)
