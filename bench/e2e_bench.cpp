// End-to-end rows: the exposed functions called through DispatchAPI by the
// substitute host, against the library's core doing the same work in memory.
// The argument handles are made once, as the real host holds its values in
// handles already; what a call costs on top is the host protocol, the
// argument checks, the key set-up and the result handle.
//
// File rows work on a 256 MiB file that is written once and then read from
// the page cache: in /dev/shm where there is one, so that writing the output
// costs no disk either, else in the temporary directory; MG_BENCH_DIR
// chooses another place. They count CPU time, the kernel's file work
// included, which other load on the machine disturbs less than the clock.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench/bench_registry.h"
#include "checksum/crc.h"
#include "cipher/blowfish.h"
#include "cipher/rc4.h"
#include "cipher/rijndael.h"
#include "cipher/tea.h"
#include "digest/sha.h"
#include "hostsim/host.h"

namespace mg::bench {
namespace {

using hostsim::Host;
using hostsim::Value;

constexpr std::size_t kFileBytes = std::size_t{256} << 20;
constexpr std::size_t kLargeValueBytes = std::size_t{64} << 20;
// The in-memory references run on buffers of this size.
constexpr std::size_t kCoreBytes = std::size_t{1} << 20;
constexpr std::size_t kDiskBytes = std::size_t{1} << 20;
const std::string kKey(32, 'k');

// One substitute host for the whole run, loaded on first use.
Host& TheHost()
{
    static Host host;
    return host;
}

// The values of one call, laid out in host handles once.
class PreparedCall {
public:
    PreparedCall(const std::string& function, const std::vector<Value>& args) : m_function(function)
    {
        Host& host = TheHost();
        const hostsim::FunctionRow* row = host.Find(function);
        if (row == nullptr) return;
        m_routine = row->routine;
        for (const Value& a : args) {
            abi::HostValue v{};
            if (a.kind == Value::Kind::Bytes) {
                v.type = 'C';
                v.length = static_cast<std::int32_t>(a.bytes.size());
                v.handle = host.NewHandle(a.bytes);
            } else if (a.kind == Value::Kind::Logical) {
                v.type = 'L';
                v.length = a.truth;
            } else {
                v.type = 'I';
                v.width = 11;
                v.integer = a.integer;
            }
            m_values.push_back(v);
        }
    }
    ~PreparedCall()
    {
        for (const abi::HostValue& v : m_values)
            if (v.type == 'C') TheHost().FreeHandle(v.handle);
    }
    PreparedCall(const PreparedCall&) = delete;
    PreparedCall& operator=(const PreparedCall&) = delete;

    bool Available() const { return m_routine != 0; }
    const std::string& Function() const { return m_function; }

    // Runs the call; false (and the message) when the library reported an error.
    bool Run(std::string& message)
    {
        const hostsim::CallResult r = TheHost().CallRoutine(m_routine, m_values);
        if (!r.ok()) message = m_function + ": error " + std::to_string(r.error) + " " + r.message;
        benchmark::DoNotOptimize(r.value.bytes.data());
        return r.ok();
    }

private:
    std::string m_function;
    abi::Word m_routine = 0;
    std::vector<abi::HostValue> m_values;
};

// A call benchmark: bytes (or calls) per iteration of `call`, made lazily.
template <class MakeCall>
void AddCallRow(const std::string& row, Unit unit, std::size_t bytes, bool realTime, MakeCall make)
{
    Declare(row, kLibrary, unit, unit == Unit::kBytes ? static_cast<double>(bytes) : 1.0, realTime);
    auto* b = benchmark::RegisterBenchmark((row + "/" + kLibrary).c_str(), [make, unit, bytes](benchmark::State& state) {
        std::unique_ptr<PreparedCall> call = make();
        if (!call || !call->Available()) {
            state.SkipWithError("not in the library's function table");
            return;
        }
        std::string message;
        for (auto _ : state) {
            if (!call->Run(message)) {
                state.SkipWithError(message.c_str());
                break;
            }
        }
        if (unit == Unit::kBytes)
            state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes));
        else
            state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
    });
    if (realTime) b->UseRealTime();
}

std::string Data(std::size_t n) { return std::string(reinterpret_cast<const char*>(Input()), n); }

// The library's core doing ENCRYPT's work with the defaults: Rijndael with a
// 32-byte key and block, ECB, over the data padded to whole blocks.
void CoreEncrypt(CRijndael& c, const unsigned char* in, unsigned char* out, std::size_t n)
{
    c.Initialize(reinterpret_cast<const unsigned char*>(kKey.data()), 32, nullptr, 32, 32, 0, 0);
    c.Encrypt(in, out, static_cast<std::int32_t>((n + 31) / 32 * 32));
}

// ... and HASH's: SHA-512.
void CoreHash(CSHA& sha, const unsigned char* in, std::size_t n, unsigned char* digest)
{
    sha.Reset();
    sha.AddData(in, static_cast<std::int32_t>(n));
    sha.FinalDigest(digest);
}

void AddInMemoryRows()
{
    const struct {
        std::size_t bytes;
        const char* name;
    } sizes[] = {{16, "16 B"}, {1024, "1 KiB"}, {1024 * 1024, "1 MiB"}};
    for (const auto& size : sizes) {
        const std::size_t n = size.bytes;
        const bool calls = n == 16;
        const Unit unit = calls ? Unit::kCalls : Unit::kBytes;
        const std::string suffix = std::string(" ") + size.name + (calls ? " (calls)" : "");

        const std::string encryptRow = "ENCRYPT" + suffix;
        AddCallRow(encryptRow, unit, n, false,
                   [n] { return std::make_unique<PreparedCall>("ENCRYPT", std::vector<Value>{Value::Of(Data(n)), Value::Of(kKey)}); });
        auto rijndael = std::make_shared<CRijndael>();
        if (calls)
            AddCalls(encryptRow, "ref-core", [rijndael, n] { CoreEncrypt(*rijndael, Input(), Output(), n); });
        else
            AddBytes(encryptRow, "ref-core", n, [rijndael, n] { CoreEncrypt(*rijndael, Input(), Output(), n); });

        const std::string hashRow = "HASH" + suffix;
        AddCallRow(hashRow, unit, n, false,
                   [n] { return std::make_unique<PreparedCall>("HASH", std::vector<Value>{Value::Of(Data(n))}); });
        auto sha = std::make_shared<CSHA>(3);
        if (calls)
            AddCalls(hashRow, "ref-core", [sha, n] { CoreHash(*sha, Input(), n, Output()); });
        else
            AddBytes(hashRow, "ref-core", n, [sha, n] { CoreHash(*sha, Input(), n, Output()); });

        if (calls) {
            // SEAL of a short value: key set-up, a nonce from the system and the tag on top of ENCRYPT's work.
            const std::string sealRow = "SEAL" + suffix;
            AddCallRow(sealRow, unit, n, false, [n] {
                return std::make_unique<PreparedCall>("SEAL", std::vector<Value>{Value::Of(Data(n)), Value::Of(kKey)});
            });
            SetTarget(sealRow, 1.0, "row:" + encryptRow);
            // The goal for a short call: cheaper than hashing 1 KiB with SHA-256.
            for (const std::string& row : {encryptRow, hashRow}) {
                auto sha256 = std::make_shared<CSHA>(1);
                AddCalls(row, "ref-sha256-1KiB", [sha256] { CoreHash(*sha256, Input(), 1024, Output()); });
                SetTarget(row, 1.0, "ref-sha256-1KiB");
            }
        } else if (n == 1024 * 1024) {
            SetTarget(encryptRow, 0.9, "ref-core");
            SetTarget(hashRow, 0.9, "ref-core");
        }
    }
}

// ENCRYPT of a 64 MiB value as the host makes the call: the value copied into
// a new handle, the call, the result copied out and the handle freed, every
// time. The goal: half the core's speed for the same cipher and mode.
void AddLargeValueRows()
{
    const struct {
        const char* row;
        std::vector<Value> settings;
        std::int32_t keySize, blockSize;
    } rows[] = {
        {"ENCRYPT 64 MiB", {}, 32, 32},
        {"ENCRYPT 64 MiB AES-128 ECB", {Value::Int(0), Value::Int(0), Value::Int(0), Value::Int(16), Value::Int(16)}, 16, 16},
    };
    for (const auto& r : rows) {
        auto arguments = std::make_shared<std::vector<Value>>();
        std::vector<Value> settings = r.settings;
        Declare(r.row, kLibrary, Unit::kBytes, static_cast<double>(kLargeValueBytes), false);
        benchmark::RegisterBenchmark((std::string(r.row) + "/" + kLibrary).c_str(),
                                     [arguments, settings](benchmark::State& state) {
            if (arguments->empty()) {
                std::string value(kLargeValueBytes, '\0');
                for (std::size_t at = 0; at < kLargeValueBytes; at += kMaxBuffer)
                    std::memcpy(value.data() + at, Input(), std::min(kMaxBuffer, kLargeValueBytes - at));
                arguments->push_back(Value::Of(std::move(value)));
                arguments->push_back(Value::Of(kKey));
                arguments->insert(arguments->end(), settings.begin(), settings.end());
            }
            for (auto _ : state) {
                const hostsim::CallResult result = TheHost().Call("ENCRYPT", *arguments);
                if (!result.ok()) {
                    state.SkipWithError(result.message.c_str());
                    break;
                }
                benchmark::DoNotOptimize(result.value.bytes.data());
            }
            state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(kLargeValueBytes));
        });
        const std::int32_t keySize = r.keySize, blockSize = r.blockSize;
        auto c = std::make_shared<CRijndael>();
        c->Initialize(reinterpret_cast<const unsigned char*>(kKey.data()), keySize, nullptr, blockSize, keySize, 0, 0);
        AddBytes(r.row, "ref-core", kCoreBytes, [c] { c->Encrypt(Input(), Output(), static_cast<std::int32_t>(kCoreBytes)); });
        SetTarget(r.row, 0.5, "ref-core");
        // What any host's copies cost without the library: the value into a
        // fresh zeroed block and back out into a fresh string (in the JSON).
        AddBytes(r.row, "ref-host-copies", kLargeValueBytes, [] {
            static const std::string value(kLargeValueBytes, 'v');
            std::unique_ptr<char, decltype(&std::free)> block(static_cast<char*>(std::calloc(kLargeValueBytes + 2, 1)), &std::free);
            std::memcpy(block.get() + 2, value.data(), kLargeValueBytes);
            std::string out(block.get() + 2, kLargeValueBytes);
            benchmark::DoNotOptimize(out.data());
        });
    }
}

// Removes the big files when the program ends: in /dev/shm they hold memory.
struct FileCleanup {
    std::string path;
    std::string extra;
    ~FileCleanup()
    {
        if (path.empty()) return;
        std::error_code ignored;
        // The big file and everything made beside it (path + suffix).
        const std::filesystem::path file(path);
        const std::string stem = file.filename().string();
        for (const auto& entry : std::filesystem::directory_iterator(file.parent_path(), ignored))
            if (entry.path().filename().string().rfind(stem, 0) == 0) std::filesystem::remove(entry.path(), ignored);
        if (!extra.empty()) std::filesystem::remove(extra, ignored);
    }
};

// The big file, written once per run.
std::string BigFile()
{
    static FileCleanup cleanup;
    static const std::string name = [] {
        const char* dir = std::getenv("MG_BENCH_DIR");
        std::filesystem::path base;
        if (dir != nullptr)
            base = dir;
        else if (std::filesystem::is_directory("/dev/shm"))
            base = "/dev/shm";
        else
            base = std::filesystem::temp_directory_path();
        // Named by the process: benchmarks run at the same time must not
        // remove each other's files.
        const std::string path = (base / ("mg-bench-256M-" + std::to_string(getpid()) + ".bin")).string();
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        for (std::size_t done = 0; done < kFileBytes; done += kMaxBuffer)
            out.write(reinterpret_cast<const char*>(Input()), static_cast<std::streamsize>(kMaxBuffer));
        if (!out) throw std::runtime_error("cannot write " + path);
        cleanup.path = path;
        return path;
    }();
    return name;
}

std::string Sibling(const std::string& path, const char* suffix) { return path + suffix; }

// A file in MG_BENCH_DIR or the temporary directory, never /dev/shm: a flush
// there costs nothing.
std::string DiskFile(const char* name, std::size_t bytes)
{
    static std::vector<std::unique_ptr<FileCleanup>> cleanups;
    const char* dir = std::getenv("MG_BENCH_DIR");
    const std::filesystem::path base = dir != nullptr ? std::filesystem::path(dir) : std::filesystem::temp_directory_path();
    const std::string path = (base / name).string();
    if (!std::filesystem::exists(path)) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(Input()), static_cast<std::streamsize>(bytes));
        if (!out) throw std::runtime_error("cannot write " + path);
        // Made in place: a temporary FileCleanup would remove the file at once.
        cleanups.push_back(std::make_unique<FileCleanup>());
        cleanups.back()->path = path;
        cleanups.back()->extra = path + ".plain";
    }
    return path;
}

// One cipher as ENCRYPTFILE takes it: the arguments after the key, and the
// core doing the same work in memory.
struct FileCipher {
    const char* suffix;  // of the row names
    std::vector<Value> settings;
    std::function<std::function<void(bool)>()> makeCore;  // the work on 1 MiB, encrypt or decrypt
};

// The core of an 8-byte-block cipher in ECB, made with the file rows.
template <class Cipher>
std::function<void(bool)> EightByteCore()
{
    auto c = std::make_shared<Cipher>();
    c->Initialize(reinterpret_cast<const unsigned char*>(kKey.data()), 16, nullptr, 0, 0);
    return [c](bool decrypt) {
        if (decrypt)
            c->Decrypt(Input(), Output(), static_cast<std::int32_t>(kCoreBytes));
        else
            c->Encrypt(Input(), Output(), static_cast<std::int32_t>(kCoreBytes));
    };
}

std::vector<FileCipher> FileCiphers()
{
    auto rijndael = [](std::int32_t keySize, std::int32_t blockSize) {
        return [keySize, blockSize]() -> std::function<void(bool)> {
            auto c = std::make_shared<CRijndael>();
            c->Initialize(reinterpret_cast<const unsigned char*>(kKey.data()), keySize, nullptr, blockSize, keySize, 0, 0);
            return [c](bool decrypt) {
                if (decrypt)
                    c->Decrypt(Input(), Output(), static_cast<std::int32_t>(kCoreBytes));
                else
                    c->Encrypt(Input(), Output(), static_cast<std::int32_t>(kCoreBytes));
            };
        };
    };
    auto rc4 = []() -> std::function<void(bool)> {
        auto state = std::make_shared<Rc4State>();
        Rc4Setup(reinterpret_cast<const unsigned char*>(kKey.data()), 32, *state);
        return [state](bool) {
            std::memcpy(Output(), Input(), kCoreBytes);
            Rc4Crypt(Output(), static_cast<std::int32_t>(kCoreBytes), *state);
        };
    };
    return {
        {"", {}, rijndael(32, 32)},
        {" AES-128 ECB", {Value::Int(0), Value::Int(0), Value::Int(0), Value::Int(16), Value::Int(16)}, rijndael(16, 16)},
        {" Blowfish ECB", {Value::Int(4), Value::Int(0)}, EightByteCore<CBlowfish>},
        {" TEA ECB", {Value::Int(8), Value::Int(0)}, EightByteCore<CTea>},
        {" RC4", {Value::Int(1024)}, rc4},
    };
}

// The references that a file function cannot beat: the same file copied,
// or read, with plain 64 KiB reads and writes.
void CopyFile(const std::string& from, const std::string& to, bool write)
{
    std::vector<char> buffer(64 * 1024);
    std::FILE* in = std::fopen(from.c_str(), "rb");
    std::FILE* out = write ? std::fopen(to.c_str(), "wb") : nullptr;
    if (in == nullptr || (write && out == nullptr)) throw std::runtime_error("cannot open " + from + " or " + to);
    std::setvbuf(in, nullptr, _IONBF, 0);
    if (out != nullptr) std::setvbuf(out, nullptr, _IONBF, 0);
    std::size_t got;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), in)) > 0) {
        if (out != nullptr && std::fwrite(buffer.data(), 1, got, out) != got) throw std::runtime_error("cannot write " + to);
        benchmark::DoNotOptimize(buffer.data());
    }
    std::fclose(in);
    if (out != nullptr) std::fclose(out);
}

void AddFileRows()
{
    const std::size_t n = kFileBytes;
    // ENCRYPTFILE and DECRYPTFILE for every cipher; the goal is the smaller of
    // the plain copy and the cipher's in-memory speed. The file rows and their
    // copy and read count the clock: the output is written on a second thread.
    for (const FileCipher& cipher : FileCiphers()) {
        const std::string encryptRow = std::string("ENCRYPTFILE 256 MiB") + cipher.suffix;
        const std::string decryptRow = std::string("DECRYPTFILE 256 MiB") + cipher.suffix;
        auto arguments = [settings = cipher.settings](const std::string& in, const std::string& out) {
            std::vector<Value> values{Value::Of(in), Value::Of(out), Value::Of(kKey)};
            values.insert(values.end(), settings.begin(), settings.end());
            return values;
        };
        AddCallRow(encryptRow, Unit::kBytes, n, true, [arguments] {
            const std::string in = BigFile();
            return std::make_unique<PreparedCall>("ENCRYPTFILE", arguments(in, Sibling(in, ".enc")));
        });
        AddCallRow(decryptRow, Unit::kBytes, n, true, [arguments] {
            const std::string in = BigFile();
            // The file to decrypt is made by ENCRYPTFILE itself.
            PreparedCall encrypt("ENCRYPTFILE", arguments(in, Sibling(in, ".enc")));
            std::string message;
            if (!encrypt.Available() || !encrypt.Run(message)) return std::unique_ptr<PreparedCall>();
            return std::make_unique<PreparedCall>("DECRYPTFILE",
                                                  arguments(Sibling(in, ".enc"), Sibling(in, ".dec")));
        });
        for (const std::string& row : {encryptRow, decryptRow}) {
            const bool decrypt = row[0] == 'D';
            AddBytes(row, "ref-core", kCoreBytes, [core = cipher.makeCore(), decrypt] { core(decrypt); });
            AddBytes(
                row, "ref-copy", n, [] { const std::string in = BigFile(); CopyFile(in, Sibling(in, ".copy"), true); }, true);
            SetTarget(row, 0.8, std::vector<std::string>{"ref-copy", "ref-core"});
        }
    }

    // HASHFILE (SHA-512, the default, and SHA-256) and CRCFILE against a plain read and the core.
    const struct {
        const char* row;
        std::int32_t type;
        std::int32_t method;  // of CSHA
    } hashes[] = {{"HASHFILE 256 MiB", 4, 3}, {"HASHFILE 256 MiB SHA-256", 2, 1}};
    for (const auto& h : hashes) {
        const std::int32_t type = h.type;
        AddCallRow(h.row, Unit::kBytes, n, true, [type] {
            return std::make_unique<PreparedCall>("HASHFILE", std::vector<Value>{Value::Of(BigFile()), Value::Int(type)});
        });
        auto sha = std::make_shared<CSHA>(h.method);
        AddBytes(h.row, "ref-core", kCoreBytes, [sha] { CoreHash(*sha, Input(), kCoreBytes, Output()); });
    }
    AddCallRow("CRCFILE 256 MiB", Unit::kBytes, n, true,
               [] { return std::make_unique<PreparedCall>("CRCFILE", std::vector<Value>{Value::Of(BigFile())}); });
    AddBytes("CRCFILE 256 MiB", "ref-core", kCoreBytes,
             [] { benchmark::DoNotOptimize(Crc32Buffer(Input(), static_cast<std::uint32_t>(kCoreBytes))); });
    for (const char* row : {"HASHFILE 256 MiB", "HASHFILE 256 MiB SHA-256", "CRCFILE 256 MiB"}) {
        AddBytes(row, "ref-read", n, [] { CopyFile(BigFile(), "", false); }, true);
        SetTarget(row, 0.8, std::vector<std::string>{"ref-read", "ref-core"});
    }

    // What the flush before the rename costs (docs/reliability.md): 1 MiB
    // encrypted into a folder on a disk, in wall time, against writing the
    // same bytes there without a flush, as the output was written before.
    AddCallRow("ENCRYPTFILE 1 MiB to disk", Unit::kBytes, kDiskBytes, true, [] {
        const std::string in = DiskFile("mg-bench-1M.bin", kDiskBytes);
        return std::make_unique<PreparedCall>(
            "ENCRYPTFILE", std::vector<Value>{Value::Of(in), Value::Of(Sibling(in, ".enc")), Value::Of(kKey)});
    });
    AddBytes(
        "ENCRYPTFILE 1 MiB to disk", "ref-unflushed-write", kDiskBytes,
        [] {
            std::ofstream out(DiskFile("mg-bench-1M.bin", kDiskBytes) + ".plain", std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(Input()), static_cast<std::streamsize>(kDiskBytes + 32));
        },
        true);

}

// SEALFILE and UNSEALFILE with an X25519 recipient against the age tool on
// the same file. The tool runs as a program of its own, so both sides count
// the clock, not this process's CPU time: noisy on a shared machine.
void AddAgeFileRows()
{
    const std::string identity = "AGE-SECRET-KEY-1GFPYYSJZGFPYYSJZGFPYYSJZGFPYYSJZGFPYYSJZGFPYYSJZGFPQ4EGAEX";
    const std::string recipient = "age1zvkyg2lqzraa2lnjvqej32nkuu0ues2s82hzrye869xeexvn73equnujwj";
    const std::size_t n = kFileBytes;
    AddCallRow("SEALFILE 256 MiB X25519", Unit::kBytes, n, true, [recipient] {
        const std::string in = BigFile();
        return std::make_unique<PreparedCall>("SEALFILE", std::vector<Value>{Value::Of(in), Value::Of(Sibling(in, ".age")),
                                                                             Value::Of(recipient), Value::Bool(true)});
    });
    AddCallRow("UNSEALFILE 256 MiB X25519", Unit::kBytes, n, true, [recipient, identity] {
        const std::string in = BigFile();
        PreparedCall seal("SEALFILE", std::vector<Value>{Value::Of(in), Value::Of(Sibling(in, ".age")), Value::Of(recipient),
                                                         Value::Bool(true)});
        std::string message;
        if (!seal.Available() || !seal.Run(message)) return std::unique_ptr<PreparedCall>();
        return std::make_unique<PreparedCall>(
            "UNSEALFILE", std::vector<Value>{Value::Of(Sibling(in, ".age")), Value::Of(Sibling(in, ".unsealed")), Value::Of(identity)});
    });
#ifdef MG_BENCH_AGE_PROGRAM
    auto run = [](const std::string& command) {
        if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
    };
    const std::string age = MG_BENCH_AGE_PROGRAM;
    AddBytes("SEALFILE 256 MiB X25519", "age-tool", n, [run, age, recipient] {
        const std::string in = BigFile();
        run(age + " -r " + recipient + " -o '" + Sibling(in, ".tool.age") + "' '" + in + "'");
    }, true);
    AddBytes("UNSEALFILE 256 MiB X25519", "age-tool", n, [run, age, recipient, identity] {
        const std::string in = BigFile();
        static bool prepared = false;
        if (!prepared) {
            std::ofstream(Sibling(in, ".key")) << identity << "\n";
            run(age + " -r " + recipient + " -o '" + Sibling(in, ".tool.age") + "' '" + in + "'");
            prepared = true;
        }
        run(age + " -d -i '" + Sibling(in, ".key") + "' -o '" + Sibling(in, ".tool.out") + "' '" + Sibling(in, ".tool.age") + "'");
    }, true);
    SetTarget("SEALFILE 256 MiB X25519", 1.5, "age-tool");
    SetTarget("UNSEALFILE 256 MiB X25519", 1.5, "age-tool");
#endif
}

const bool kRegistered = [] {
    AddInMemoryRows();
    AddLargeValueRows();
    AddFileRows();
    AddAgeFileRows();
    return true;
}();

}  // namespace
}  // namespace mg::bench
