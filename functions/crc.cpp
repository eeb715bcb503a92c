#include "functions/crc.h"

#include <string>

#include "checksum/crc.h"
#include "functions/arguments.h"
#include "host/handle_lock.h"
#include "host/host_ops.h"

namespace mg::functions {
namespace {

constexpr std::int16_t kWidth = 10;

bool WantsCrc16(const Arguments& args) { return args.IntegerOr(2, 2) == 1; }

// The CRC-32 goes back unsigned: values of 2^31 and above stay positive.
void ReturnCrc32(std::uint32_t crc) { host::ReturnNumber(kWidth, 0, static_cast<double>(crc)); }

}  // namespace

void MG_FASTCALL CRC(abi::ParamBlock* params) {
    const Arguments args(params);
    host::HandleLock data(args.Handle(1));
    const std::int32_t length = args.Length(1);
    const std::size_t n = length > 0 ? static_cast<std::size_t>(length) : 0;
    if (WantsCrc16(args)) {
        host::ReturnInteger(Crc16String(data.data(), n), kWidth);
    } else {
        ReturnCrc32(Crc32Buffer(data.data(), static_cast<std::uint32_t>(n)));
    }
}

void MG_FASTCALL CRCFILE(abi::ParamBlock* params) {
    const Arguments args(params);
    host::HandleLock name(args.Handle(1));
    const std::int32_t length = args.Length(1);
    const std::string path(reinterpret_cast<const char*>(name.data()), length > 0 ? static_cast<std::size_t>(length) : 0);
    // A name with a NUL inside names no file; cut at the NUL it would name another.
    const bool openable = path.find('\0') == std::string::npos;
    if (WantsCrc16(args)) {
        host::ReturnInteger(openable ? Crc16File(path.c_str()) : 0, kWidth);
    } else {
        ReturnCrc32(openable ? Crc32File(path.c_str()) : 0);
    }
}

}  // namespace mg::functions
