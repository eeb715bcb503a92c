#include "hostsim/dbf_writer.h"

#include <cstring>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "hostsim/calendar.h"
#include "hostsim/dbf_format.h"
#include "hostsim/text_form.h"

namespace mg::hostsim {
namespace {

using Bytes = std::vector<unsigned char>;

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

// Appends a memo to the memo file and gives its block number.
std::uint32_t AddMemo(Bytes& memo, std::size_t blockSize, const std::string& data, bool text) {
    if (data.empty()) return 0;
    const std::size_t start = memo.size();
    const std::size_t blocks = (8 + data.size() + blockSize - 1) / blockSize;
    memo.resize(start + blocks * blockSize, 0);
    dbf::PutBe32(&memo[start], text ? 1 : 0);
    dbf::PutBe32(&memo[start + 4], static_cast<std::uint32_t>(data.size()));
    std::memcpy(&memo[start + 8], data.data(), data.size());
    return static_cast<std::uint32_t>(start / blockSize);
}

void PutText(unsigned char* p, const std::string& text, const FieldDef& f) {
    if (text.size() > static_cast<std::size_t>(f.width)) {
        throw std::runtime_error("\"" + text + "\" does not fit field " + f.name);
    }
    const std::size_t pad = static_cast<std::size_t>(f.width) - text.size();
    std::memset(p, ' ', pad);  // numbers stand right-aligned
    std::memcpy(p + pad, text.data(), text.size());
}

void CheckForm(const Table& table, DbfForm form) {
    for (const FieldDef& f : table.Fields()) {
        if (f.name.empty() || f.name.size() > 10) throw std::runtime_error("field name \"" + f.name + "\" cannot be stored");
        const char* types = form == DbfForm::kDBase3 ? "CNDL" : "CNFIBYDTLMVQW";
        if (std::strchr(types, f.type) == nullptr || f.type == 0) {
            throw std::runtime_error(std::string("field type ") + f.type + " cannot be stored in this form");
        }
        if (form == DbfForm::kDBase3 && f.nullable) throw std::runtime_error("this form holds no null values");
        if (f.width > 255 || f.decimals > 255) throw std::runtime_error("field " + f.name + " is too wide");
    }
}

}  // namespace

void WriteDbf(const Table& table, const std::string& path, DbfForm form, std::uint16_t memoBlockSize) {
    CheckForm(table, form);
    const bool host = form == DbfForm::kHost;
    const std::vector<FieldDef>& fields = table.Fields();
    if (memoBlockSize == 0) throw std::runtime_error("memo block size 0");

    // Bits of the hidden null-flags field, in the order the reader expects.
    std::vector<int> lengthBit(fields.size(), -1), nullBit(fields.size(), -1);
    int bits = 0;
    bool varying = false, hasMemo = false;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].IsVarying()) lengthBit[i] = bits++;
        if (fields[i].nullable) nullBit[i] = bits++;
        varying = varying || fields[i].IsVarying() || fields[i].type == 'W';
        hasMemo = hasMemo || fields[i].IsMemoKind();
    }
    const std::size_t flagsWidth = static_cast<std::size_t>((bits + 7) / 8);

    const std::size_t descriptors = fields.size() + (flagsWidth > 0 ? 1 : 0);
    const std::size_t headerLength =
        dbf::kHeaderSize + dbf::kDescriptorSize * descriptors + 1 + (host ? dbf::kBacklinkSize : 0);
    std::size_t recordLength = 1 + flagsWidth;
    for (const FieldDef& f : fields) recordLength += static_cast<std::size_t>(f.width);
    if (headerLength > 0xFFFF || recordLength > 0xFFFF) throw std::runtime_error("table too wide for a table file");

    Bytes file(headerLength, 0);
    file[0] = host ? (varying ? dbf::kHostVarying : dbf::kHost) : dbf::kDBase3;
    file[1] = 100;  // 2000-01-01, years counted from 1900
    file[2] = 1;
    file[3] = 1;
    dbf::PutLe32(&file[4], static_cast<std::uint32_t>(table.RecordCount()));
    dbf::PutLe16(&file[8], static_cast<std::uint16_t>(headerLength));
    dbf::PutLe16(&file[10], static_cast<std::uint16_t>(recordLength));
    if (host && hasMemo) file[28] = dbf::kTableHasMemo;
    if (host) file[29] = 0x03;  // code page 1252

    std::size_t pos = dbf::kHeaderSize, offset = 1;
    auto describe = [&](const std::string& name, char type, std::size_t width, int decimals, unsigned char flags) {
        std::memcpy(&file[pos], name.data(), name.size());
        file[pos + 11] = static_cast<unsigned char>(type);
        if (host) dbf::PutLe32(&file[pos + 12], static_cast<std::uint32_t>(offset));
        file[pos + 16] = static_cast<unsigned char>(width);
        file[pos + 17] = static_cast<unsigned char>(decimals);
        file[pos + 18] = flags;
        pos += dbf::kDescriptorSize;
        offset += width;
    };
    for (const FieldDef& f : fields) {
        const unsigned char flags = static_cast<unsigned char>((f.nullable ? dbf::kFlagNullable : 0) |
                                                               (f.binary ? dbf::kFlagBinary : 0));
        describe(f.name, f.type, static_cast<std::size_t>(f.width), f.decimals, host ? flags : 0);
    }
    if (flagsWidth > 0) describe(dbf::kNullFlagsName, '0', flagsWidth, 0, dbf::kFlagSystem | dbf::kFlagBinary);
    file[pos] = dbf::kHeaderEnd;

    Bytes memo(dbf::kMemoHeaderSize, 0);
    // The header's blocks are never handed out, also when a block is larger than the header.
    memo.resize((dbf::kMemoHeaderSize + memoBlockSize - 1) / memoBlockSize * memoBlockSize, 0);
    memo[6] = static_cast<unsigned char>(memoBlockSize >> 8);
    memo[7] = static_cast<unsigned char>(memoBlockSize & 0xFF);

    for (std::size_t r = 1; r <= table.RecordCount(); ++r) {
        Bytes record(recordLength, 0);
        record[0] = table.Deleted(r) ? '*' : ' ';
        std::size_t at = 1;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const FieldDef& f = fields[i];
            const Cell& c = table.At(r, i);
            unsigned char* p = &record[at];
            const auto width = static_cast<std::size_t>(f.width);
            at += width;
            auto setBit = [&](int bit) {
                record[recordLength - flagsWidth + static_cast<std::size_t>(bit / 8)] |=
                    static_cast<unsigned char>(1u << (bit % 8));
            };
            if (c.null) {
                setBit(nullBit[i]);
                if (std::strchr("CNFDL", f.type) != nullptr) std::memset(p, ' ', width);
                continue;
            }
            switch (f.type) {
                case 'C': std::memcpy(p, c.bytes.data(), width); break;
                case 'V':
                case 'Q':
                    std::memcpy(p, c.bytes.data(), c.bytes.size());
                    if (c.bytes.size() < width) {
                        p[width - 1] = static_cast<unsigned char>(c.bytes.size());
                        setBit(lengthBit[i]);
                    }
                    break;
                case 'N':
                case 'F': PutText(p, FixedText(c.number, f.decimals), f); break;
                case 'I': dbf::PutLe32(p, static_cast<std::uint32_t>(c.integer)); break;
                case 'B': {
                    std::uint64_t b;
                    std::memcpy(&b, &c.number, sizeof b);
                    dbf::PutLe64(p, b);
                    break;
                }
                case 'Y': dbf::PutLe64(p, static_cast<std::uint64_t>(c.currency)); break;
                case 'D': {
                    if (c.day == 0) {
                        std::memset(p, ' ', width);
                        break;
                    }
                    const CivilDate d = CivilFromJulianDay(c.day);
                    std::string text = std::to_string(d.year * 10000 + d.month * 100 + d.day);
                    text.insert(0, 8 - text.size(), '0');
                    std::memcpy(p, text.data(), 8);
                    break;
                }
                case 'T':
                    dbf::PutLe32(p, static_cast<std::uint32_t>(c.day));
                    dbf::PutLe32(p + 4, static_cast<std::uint32_t>(c.milliseconds));
                    break;
                case 'L': p[0] = c.logical ? 'T' : 'F'; break;
                case 'M':
                case 'W': dbf::PutLe32(p, AddMemo(memo, memoBlockSize, c.bytes, f.type == 'M')); break;
                default: break;
            }
        }
        file.insert(file.end(), record.begin(), record.end());
    }
    file.push_back(dbf::kFileEnd);

    WriteFile(path, file);
    if (host && hasMemo) {
        dbf::PutBe32(&memo[0], static_cast<std::uint32_t>(memo.size() / memoBlockSize));
        WriteFile(dbf::MemoPath(path), memo);
    }
}

}  // namespace mg::hostsim
