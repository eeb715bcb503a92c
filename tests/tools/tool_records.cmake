# GETRECSTR, HASHRECORD and CRCRECORD over table files that the substitute
# host opens, one record or all of them, and the same through "call".
include(${CMAKE_CURRENT_LIST_DIR}/tool_test.cmake)
file(COPY "${TABLES}/" DESTINATION "${WORK}")

set(ADA "Ada       12/10/154200.50.T.")
set(CHARLES "Charles   12/26/913900.00.F.")
set(GRACE "Grace     12/09/065100.25.T.")
mg_tool(ARGS getrecstr people.dbf --record 1 OUT "${ADA}")
mg_tool(ARGS getrecstr people.dbf -r 1 --century OUT "Ada       12/10/18154200.50.T.")
# Every record, one line each, the deleted one too, as the host sees them.
mg_tool(ARGS getrecstr people.dbf OUT "${ADA}\n${CHARLES}\n${GRACE}")
mg_tool(ARGS getrecstr people.dbf --memo OUT "${ADA}First program\n${CHARLES}Engines\n${GRACE}")
mg_tool(ARGS getrecstr stock.dbf OUT "AB  12\nC   7")
mg_tool(ARGS getrecstr stock.dbf -r 2 -f hex OUT 4320202037)
mg_tool(ARGS getrecstr stock.dbf --alias inventory -r 2 OUT "C   7")

# HASHRECORD and CRCRECORD equal HASH and CRC of the record string.
mg_tool(ARGS hash "${ADA}" -t md5 OUT_VAR ada_md5)
string(TOUPPER "${ada_md5}" ada_md5)
mg_tool(ARGS hash "${ADA}First program" -t sha256 OUT_VAR ada_memo)
mg_tool(ARGS hashrecord people.dbf -r 1 --memo -t sha256 OUT "${ada_memo}")
mg_tool(ARGS crc "${ADA}" -t crc16 -f hex OUT_VAR ada_crc16)
mg_tool(ARGS crcrecord people.dbf -r 1 -t crc16 -f hex OUT "${ada_crc16}")
mg_tool(ARGS crcrecord stock.dbf -f hex OUT_LIKE "^[0-9a-f]+\n[0-9a-f]+$")

# Through "call", with the table open under its file name.
mg_tool(ARGS call --table people.dbf -r 2 "GETRECSTR('people')" OUT "${CHARLES}")
mg_tool(ARGS call --table people.dbf "GETRECSTR('', .T.)" OUT "${ADA}First program")
mg_tool(ARGS call --table people.dbf --table stock.dbf "GETRECSTR('stock')" OUT "AB  12")
mg_tool(ARGS call --table people.dbf "CRCRECORD('nosuch', 2)" OUT 0)
mg_tool(ARGS call --table people.dbf "HASHRECORD('people', 5)" OUT "0h${ada_md5}")

mg_tool(ARGS getrecstr people.dbf -r 4 RC 2 ERR_LIKE "record 4 is beyond the last record \\(3\\)")
mg_tool(ARGS getrecstr people.dbf -r 0 RC 2 ERR_LIKE "record numbers start at 1")
mg_tool(ARGS hashrecord missing.dbf RC 1 ERR_LIKE "^marrowgate: .*missing.dbf")
mg_tool(ARGS call -r 1 "GETRECSTR('')" RC 2 ERR_LIKE "--record needs a --table")
