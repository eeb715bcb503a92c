# HASHPASSWORD, VERIFYPASSWORD and DERIVEKEY through the tool.
include(${CMAKE_CURRENT_LIST_DIR}/tool_test.cmake)

# Small costs: the emulated runs are slow. The default call is in the tour.
set(PHC "^\\$argon2id\\$v=19\\$m=64,t=1,p=1\\$[A-Za-z0-9+/]+\\$[A-Za-z0-9+/]+$")
mg_tool(ARGS hashpassword hunter2 -m 64 -t 1 OUT_LIKE "${PHC}" OUT_VAR stored)
mg_tool(ARGS hashpassword hunter2 -m 64 -t 1 -o stored.txt)
mg_tool(ARGS hashpassword -t 1 -m 8 RC 0 OUT_LIKE "m=8,t=1,p=1")
mg_tool(ARGS hashpassword x -m 7 RC 1 ERR "Password ERROR: Argon2 parameters out of range!")
mg_tool(ARGS verifypassword hunter2 --hash "${stored}" OUT "match")
mg_tool(ARGS verifypassword hunter2 --hash-file stored.txt OUT "match")
mg_tool(ARGS verifypassword hunter3 --hash-file stored.txt RC 1 OUT "no match")
mg_tool(ARGS verifypassword hunter3 --hash "${stored}" -q RC 1 OUT "")
mg_tool(ARGS verifypassword hunter2 --hash nonsense RC 1 ERR "Password ERROR: Not a valid password hash!")
mg_tool(ARGS verifypassword hunter2 RC 2 ERR_LIKE "missing hash")
# Written by libargon2 20171227: Argon2i, four lanes, a NUL in the password.
mg_tool(ARGS verifypassword --hex 7061737300776f7264
        --hash "$argon2i$v=19$m=32,t=3,p=4$c29tZXNhbHQ$oMfrdgrCetJbRLi/49rS3LX5USPdbW9k6mvIQiL2UZI" OUT "match")

# RFC 6070 #3 and the published PBKDF2-HMAC-SHA256 case of RFC 7914; an empty salt.
mg_tool(ARGS derivekey password --salt salt -c 4096 -l 20 -t sha1 OUT 4b007901b765489abead49d926f721d065a429c1)
mg_tool(ARGS derivekey passwd --salt salt -c 1 -l 64 -t sha256
        OUT 55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc49ca9cccf179b645991664b39d77ef317c71b845b1e30bd509112041d3a19783)
mg_tool(ARGS derivekey pw --salt= -c 1 -l 20 -t sha256 OUT 6a65192736d636be9f08743ea5a9e37cf93c2701)
mg_tool(ARGS derivekey password --salt salt -c 1000 OUT afe6c5530785b6cc6b1c6453384731bd5ee432ee549fd42fb6695779ad8a1c5b)
mg_tool(ARGS derivekey pw --salt s -c 0 RC 1 ERR "Password ERROR: Iterations must be at least 1!")
mg_tool(ARGS derivekey pw --salt s -c 1 -l 1025 RC 1 ERR "Password ERROR: Key length must be 1 to 1024!")
mg_tool(ARGS derivekey pw -c 1 RC 2 ERR_LIKE "missing salt")
mg_tool(ARGS derivekey pw --salt s RC 2 ERR_LIKE "missing iteration count")
