#include "hostsim/dbf_reader.h"

#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

#include "hostsim/calendar.h"
#include "hostsim/dbf_format.h"

namespace mg::hostsim {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes ReadFile(const std::string& path, const char* what) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(std::string("cannot open ") + what + " " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

[[noreturn]] void Bad(const std::string& path, const std::string& what) {
    throw std::runtime_error(path + ": " + what);
}

std::string Trimmed(const unsigned char* p, std::size_t n) {
    std::size_t b = 0, e = n;
    while (b < e && p[b] == ' ') ++b;
    while (e > b && p[e - 1] == ' ') --e;
    return std::string(reinterpret_cast<const char*>(p) + b, e - b);
}

// A field as read from its descriptor, with where its bits sit in _NullFlags.
struct Column {
    FieldDef def;
    bool system = false;
    std::size_t offset = 0;
    int lengthBit = -1;
    int nullBit = -1;
};

// The memo file beside a table, read whole.
struct MemoData {
    std::string path;
    Bytes bytes;
    std::size_t blockSize = 0;
};

MemoData ReadMemoFile(const std::string& path) {
    MemoData memo{path, ReadFile(path, "memo file"), 0};
    if (memo.bytes.size() < dbf::kMemoHeaderSize) Bad(path, "memo file header is truncated");
    memo.blockSize = (static_cast<std::size_t>(memo.bytes[6]) << 8) | memo.bytes[7];
    if (memo.blockSize == 0) Bad(path, "memo file has block size 0");
    return memo;
}

std::string MemoAt(const MemoData& memo, std::uint32_t block) {
    if (block == 0) return "";
    // In 64 bits: a wild block number must not wrap around on a 32-bit build.
    const std::uint64_t at = static_cast<std::uint64_t>(block) * memo.blockSize;
    const std::size_t size = memo.bytes.size();
    if (at < dbf::kMemoHeaderSize || at > size || size - static_cast<std::size_t>(at) < 8) {
        Bad(memo.path, "memo block " + std::to_string(block) + " is outside the file");
    }
    const auto start = static_cast<std::size_t>(at);
    const std::size_t length = dbf::Be32(&memo.bytes[start + 4]);
    if (length > size - start - 8) Bad(memo.path, "memo block " + std::to_string(block) + " is truncated");
    return std::string(reinterpret_cast<const char*>(&memo.bytes[start + 8]), length);
}

bool FixedWidthOk(char type, int width) {
    switch (type) {
        case 'I': case 'M': case 'W': return width == 4;
        case 'B': case 'Y': case 'D': case 'T': return width == 8;
        case 'L': return width == 1;
        case 'N': case 'F': return width >= 1 && width <= 20;
        case 'C': case 'V': case 'Q': case '0': return width >= 1;
        default: return false;
    }
}

std::vector<Column> ReadColumns(const std::string& path, const Bytes& file, std::size_t headerLength, bool host) {
    std::vector<Column> columns;
    std::size_t pos = dbf::kHeaderSize;
    std::size_t offset = 1;  // after the deletion mark
    while (true) {
        if (pos >= headerLength) Bad(path, "field list has no end mark");
        if (file[pos] == dbf::kHeaderEnd) break;
        if (pos + dbf::kDescriptorSize > headerLength) Bad(path, "field list has no end mark");
        const unsigned char* d = &file[pos];
        Column c;
        c.def.name.assign(reinterpret_cast<const char*>(d), strnlen(reinterpret_cast<const char*>(d), 11));
        c.def.type = static_cast<char>(d[11]);
        c.def.width = d[16];
        c.def.decimals = d[17];
        const unsigned char flags = host ? d[18] : 0;
        c.system = (flags & dbf::kFlagSystem) != 0;
        c.def.nullable = (flags & dbf::kFlagNullable) != 0 && !c.system;
        c.def.binary = (flags & dbf::kFlagBinary) != 0;
        c.offset = offset;
        const bool known = host ? std::strchr("CNFIBYDTLMVQW0", c.def.type) != nullptr
                                : std::strchr("CNFDL", c.def.type) != nullptr;
        if (c.def.type == 0 || !known) {
            Bad(path, "field " + c.def.name + " has type " + std::to_string(d[11]) + ", which this form does not hold");
        }
        if (!FixedWidthOk(c.def.type, c.def.width)) Bad(path, "field " + c.def.name + " has a wrong width");
        if (c.def.type == '0' && !c.system) Bad(path, "field " + c.def.name + " is a null-flags field not marked as system");
        offset += static_cast<std::size_t>(c.def.width);
        columns.push_back(std::move(c));
        pos += dbf::kDescriptorSize;
    }
    return columns;
}

void AssignNullBits(const std::string& path, std::vector<Column>& columns, const Column*& flagsColumn) {
    flagsColumn = nullptr;
    int bit = 0;
    for (Column& c : columns) {
        if (c.system) continue;
        if (c.def.IsVarying()) c.lengthBit = bit++;
        if (c.def.nullable) c.nullBit = bit++;
    }
    for (const Column& c : columns) {
        if (c.system && c.def.type == '0') flagsColumn = &c;
    }
    if (bit > 0 && (flagsColumn == nullptr || flagsColumn->def.width * 8 < bit)) {
        Bad(path, "null flags are missing or too short");
    }
}

bool BitSet(const unsigned char* record, const Column* flags, int bit) {
    if (bit < 0) return false;
    return (record[flags->offset + static_cast<std::size_t>(bit / 8)] >> (bit % 8) & 1) != 0;
}

Cell ReadCell(const std::string& path, const Column& c, const unsigned char* record, const Column* flags,
              const MemoData& memo) {
    const unsigned char* p = record + c.offset;
    const auto width = static_cast<std::size_t>(c.def.width);
    if (BitSet(record, flags, c.nullBit)) return Cell::Null();
    Cell cell;
    switch (c.def.type) {
        case 'C':
            cell.bytes.assign(reinterpret_cast<const char*>(p), width);
            break;
        case 'V':
        case 'Q': {
            std::size_t length = width;
            if (BitSet(record, flags, c.lengthBit)) {
                length = p[width - 1];
                if (length >= width) Bad(path, "field " + c.def.name + " holds a length beyond its width");
            }
            cell.bytes.assign(reinterpret_cast<const char*>(p), length);
            break;
        }
        case 'N':
        case 'F': {
            const std::string text = Trimmed(p, width);
            if (text.empty()) break;  // a blank number reads as 0
            const auto r = std::from_chars(text.data(), text.data() + text.size(), cell.number);
            if (r.ec != std::errc() || r.ptr != text.data() + text.size()) {
                Bad(path, "field " + c.def.name + " holds \"" + text + "\", which is not a number");
            }
            break;
        }
        case 'I': cell.integer = static_cast<std::int32_t>(dbf::Le32(p)); break;
        case 'B': {
            const std::uint64_t bits = dbf::Le64(p);
            std::memcpy(&cell.number, &bits, sizeof bits);
            break;
        }
        case 'Y': cell.currency = static_cast<std::int64_t>(dbf::Le64(p)); break;
        case 'D': {
            const std::string text = Trimmed(p, width);
            if (text.empty() || text == "00000000") break;
            int ymd[3] = {0, 0, 0};
            const std::size_t lengths[3] = {4, 2, 2};
            std::size_t at = 0;
            bool ok = text.size() == 8;
            for (int i = 0; i < 3 && ok; ++i) {
                const auto r = std::from_chars(text.data() + at, text.data() + at + lengths[i], ymd[i]);
                ok = r.ec == std::errc() && r.ptr == text.data() + at + lengths[i];
                at += lengths[i];
            }
            if (!ok || !IsValidDate(ymd[0], ymd[1], ymd[2])) {
                Bad(path, "field " + c.def.name + " holds \"" + text + "\", which is not a date");
            }
            cell.day = JulianDay(ymd[0], ymd[1], ymd[2]);
            break;
        }
        case 'T':
            cell.day = static_cast<std::int32_t>(dbf::Le32(p));
            cell.milliseconds = static_cast<std::int32_t>(dbf::Le32(p + 4));
            if (cell.day < 0 || cell.milliseconds < 0 || cell.milliseconds >= 86400000) {
                Bad(path, "field " + c.def.name + " holds no valid datetime");
            }
            break;
        case 'L': cell.logical = std::strchr("TtYy", p[0]) != nullptr && p[0] != 0; break;
        case 'M':
        case 'W': cell.bytes = MemoAt(memo, dbf::Le32(p)); break;
        default: break;
    }
    return cell;
}

}  // namespace

Table ReadDbf(const std::string& path) {
    const Bytes file = ReadFile(path, "table file");
    if (file.size() < dbf::kHeaderSize + 1) Bad(path, "too short for a table file");
    const unsigned char version = file[0];
    const bool host = version == dbf::kHost || version == dbf::kHostAutoIncrement || version == dbf::kHostVarying;
    if (!host && version != dbf::kDBase3) Bad(path, "table file version " + std::to_string(version) + " is not supported");

    const std::uint32_t recordCount = dbf::Le32(&file[4]);
    const std::size_t headerLength = dbf::Le16(&file[8]);
    const std::size_t recordLength = dbf::Le16(&file[10]);
    if (headerLength > file.size()) Bad(path, "header is truncated");

    std::vector<Column> columns = ReadColumns(path, file, headerLength, host);
    std::size_t used = 1;
    for (const Column& c : columns) used += static_cast<std::size_t>(c.def.width);
    if (used != recordLength) Bad(path, "record length does not match the fields");
    if (recordCount > (file.size() - headerLength) / recordLength) Bad(path, "records are truncated");

    const Column* flags = nullptr;
    AssignNullBits(path, columns, flags);

    MemoData memo;
    for (const Column& c : columns) {
        if (c.def.IsMemoKind() && memo.blockSize == 0) memo = ReadMemoFile(dbf::MemoPath(path));
    }

    std::vector<FieldDef> fields;
    for (const Column& c : columns) {
        if (!c.system) fields.push_back(c.def);
    }
    Table table(fields);
    for (std::uint32_t r = 0; r < recordCount; ++r) {
        const unsigned char* record = &file[headerLength + r * recordLength];
        if (record[0] != ' ' && record[0] != '*') Bad(path, "record " + std::to_string(r + 1) + " has no deletion mark");
        std::vector<Cell> cells;
        for (const Column& c : columns) {
            if (!c.system) cells.push_back(ReadCell(path, c, record, flags, memo));
        }
        table.Append(std::move(cells));
        table.SetDeleted(r + 1, record[0] == '*');
    }
    table.Go(1);
    return table;
}

}  // namespace mg::hostsim
