// Eight host threads, each with its own context (its own substitute host,
// handle table and open table), run long mixed sequences of every exposed
// function at the same time, in memory and on files. Each thread's results
// must equal those of the same sequence run alone on one thread first.
// Built also under ThreadSanitizer (scripts/reliability.sh), where the same
// run must give no report.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "hostsim/expression_evaluator.h"
#include "hostsim/field.h"
#include "hostsim/host.h"
#include "hostsim/table.h"
#include "hostsim/work_areas.h"

namespace mg::testing {
namespace {

using hostsim::CallResult;
using hostsim::Cell;
using hostsim::Field;
using hostsim::Host;
using hostsim::Table;
using hostsim::Value;

namespace fs = std::filesystem;

constexpr int kThreads = 8;

Value C(std::string s) { return Value::Of(std::move(s)); }
Value I(std::int32_t i) { return Value::Int(i); }
Value L(bool b) { return Value::Bool(b); }

// One call of a sequence. `output` names the file the call writes, whose
// contents then belong to the outcome; `random` marks calls whose bytes are
// random by design and are compared by their properties instead.
struct Step {
    std::string name;
    std::vector<Value> args;
    std::string output;
    bool random = false;
};

// A deterministic account of what a step gave back.
std::string Describe(const CallResult& r) {
    std::ostringstream out;
    out << "error " << r.error << " [" << r.message << "] kind " << static_cast<int>(r.value.kind) << " ";
    switch (r.value.kind) {
        case Value::Kind::Bytes: out << r.value.bytes.size() << ":" << r.value.bytes; break;
        case Value::Kind::Integer: out << r.value.integer << "/" << r.value.width; break;
        case Value::Kind::Number: out << r.value.number << "/" << r.value.width << "/" << r.value.decimals; break;
        case Value::Kind::Logical: out << r.value.truth; break;
        case Value::Kind::None: break;
    }
    return out.str();
}

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The files the sequences read: shared ones, read by every thread, and per
// thread the files that thread writes. They live in memory where the system
// offers a folder there: this test is about threads, and rewriting files on
// a disk over and over mostly measures the disk's write-back.
class Files {
public:
    Files() {
        std::error_code ignored;
        const fs::path base = fs::is_directory("/dev/shm", ignored) ? fs::path("/dev/shm") : fs::temp_directory_path();
        static std::atomic<int> counter{0};
        m_path = base / ("mg_stress_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) +
                         "_" + std::to_string(counter++));
        fs::create_directories(m_path);
        for (std::size_t size : {0u, 1u, 100u, 384u, 385u, 1000u, 1536u, 5000u}) {
            std::string bytes(size, '\0');
            for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 37 + size);
            m_vShared.push_back(File("shared" + std::to_string(size)));
            std::ofstream(m_vShared.back(), std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(size));
        }
    }
    ~Files() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    Files(const Files&) = delete;
    Files& operator=(const Files&) = delete;

    const std::string& Shared(std::size_t i) const { return m_vShared[i % m_vShared.size()]; }
    std::string Own(int thread, const std::string& name) const {
        return File("t" + std::to_string(thread) + "_" + name);
    }
    // A sequence starts with none of its thread's files, whichever run it is.
    void ClearOwn(int thread) const {
        for (const char* name : {"enc", "dec", "enc.check"}) std::remove(Own(thread, name).c_str());
    }

private:
    std::string File(const std::string& name) const { return (m_path / name).string(); }

    fs::path m_path;
    std::vector<std::string> m_vShared;
};

// The sequence of one thread: every function, with the argument counts and
// values drawn from a generator seeded by the thread's number.
std::vector<Step> Sequence(int thread, int length, const Files& files) {
    std::mt19937 rng(static_cast<std::uint32_t>(7919 * (thread + 1)));
    auto below = [&rng](std::uint32_t n) { return static_cast<std::int32_t>(rng() % n); };
    auto bytes = [&](std::uint32_t limit) {
        std::string s(static_cast<std::size_t>(below(limit + 1)), '\0');
        for (char& c : s) c = static_cast<char>(rng());
        return s;
    };
    // A few keys per thread, so that objects meet a key again as well as new ones.
    std::vector<std::string> keys;
    for (int i = 0; i < 4; ++i) keys.push_back(bytes(40) + "k");
    const std::int32_t types[] = {0, 1, 2, 3, 4, 8, 1024, -1};
    const std::int32_t sizes[] = {16, 24, 32, 0};
    // Cipher arguments 3..8 (or 4..9 for the file functions), some of them left out.
    auto cipherArgs = [&](std::vector<Value>& args, bool& random) {
        const std::int32_t extra = below(7);
        const std::int32_t padding = below(6) - 1;
        const Value all[] = {I(types[below(8)]), I(below(6) - 1), I(padding), I(sizes[below(4)]),
                             I(sizes[below(4)]), C(bytes(40))};
        for (std::int32_t i = 0; i < extra; ++i) args.push_back(all[i]);
        random = extra >= 3 && padding == 4;
    };

    std::vector<Step> steps;
    while (static_cast<int>(steps.size()) < length) {
        Step s;
        switch (below(15)) {
            case 0:
            case 1:
                s.name = below(2) ? "ENCRYPT" : "DECRYPT";
                s.args = {C(bytes(600)), C(keys[static_cast<std::size_t>(below(4))])};
                cipherArgs(s.args, s.random);
                s.random = s.random && s.name == "ENCRYPT";
                break;
            case 2:
            case 3: {
                s.name = "ENCRYPTFILE";
                s.output = files.Own(thread, "enc");
                s.args = {C(files.Shared(static_cast<std::size_t>(below(8)))), C(s.output),
                          C(keys[static_cast<std::size_t>(below(4))])};
                cipherArgs(s.args, s.random);
                Step back;
                back.name = "DECRYPTFILE";
                back.output = files.Own(thread, "dec");
                back.args = s.args;
                back.args[0] = C(s.output);
                back.args[1] = C(back.output);
                steps.push_back(s);
                // Mostly with the same settings, so that most decryptions succeed.
                if (below(4) != 0) steps.push_back(back);
                continue;
            }
            case 4:
                s.name = "DECRYPTFILE";
                s.output = files.Own(thread, "dec");
                s.args = {C(files.Own(thread, "enc")), C(s.output), C(keys[static_cast<std::size_t>(below(4))])};
                cipherArgs(s.args, s.random);
                s.random = false;
                break;
            case 5: s.name = "HASH"; s.args = {C(bytes(1000)), I(below(10) - 1)}; break;
            case 6: s.name = "HMAC"; s.args = {C(bytes(300)), C(bytes(200)), I(below(10) - 1)}; break;
            case 7:
                s.name = "HASHFILE";
                s.args = {C(below(4) ? files.Shared(static_cast<std::size_t>(below(8))) : files.Own(thread, "enc")),
                          I(below(10) - 1)};
                break;
            case 8: s.name = "CRC"; s.args = {C(bytes(1000)), I(below(4) - 1)}; break;
            case 9:
                s.name = "CRCFILE";
                s.args = {C(below(4) ? files.Shared(static_cast<std::size_t>(below(8))) : files.Own(thread, "dec")),
                          I(below(4) - 1)};
                break;
            case 10: s.name = "GETRECSTR"; s.args = {C(below(4) ? "orders" : ""), L(below(2))}; break;
            case 11: s.name = "HASHRECORD"; s.args = {C(below(4) ? "orders" : "nothere"), I(below(9)), L(below(2))}; break;
            case 12: s.name = "CRCRECORD"; s.args = {C("orders"), I(below(3)), L(below(2))}; break;
            case 13:
                s.name = "GENERATEKEY";
                s.args = {I(below(70) - 5), L(below(2)), L(below(2)), L(below(2))};
                s.random = true;
                break;
            default: s.name = "ONLOAD"; break;
        }
        steps.push_back(s);
    }
    steps.resize(static_cast<std::size_t>(length));
    return steps;
}

// One host thread: its own substitute host and an open table of its own.
class HostThread {
public:
    HostThread(int thread, const Files& files) {
        files.ClearOwn(thread);
        Table orders({Field("ID", 'I'), Field("CUSTOMER", 'C', 8), Field("NOTES", 'M'), Field("TOTAL", 'N', 8, 2)});
        orders.Append({Cell::Integer(thread), Cell::Text("client" + std::to_string(thread)),
                       Cell::Text(std::string(static_cast<std::size_t>(thread + 1), 'm')), Cell::Number(thread * 1.5)});
        m_areas.Open(std::move(orders), "orders");
        m_evaluator.AttachTo(m_host);
    }

    // What a step gave back, made independent of randomness where the step is random.
    std::string Run(const Step& step) {
        CallResult r = m_host.Call(step.name, step.args);
        if (step.random && r.ok()) Normalise(step, r);
        std::string outcome = Describe(r);
        if (!step.output.empty()) outcome += " file " + FileBytes(step.output);
        return outcome;
    }

    std::size_t Handles() const { return m_host.OccupiedHandles(); }

private:
    void Normalise(const Step& step, CallResult& r) {
        if (step.name == "GENERATEKEY") {
            // Its length and that every character comes from the pool asked for.
            const std::string& key = r.value.bytes;
            const bool digits = step.args[1].logical, upper = step.args[2].logical, symbols = step.args[3].logical;
            bool inPool = true;
            for (unsigned char c : key) {
                inPool = inPool && ((c >= 'a' && c <= 'z') || (upper && c >= 'A' && c <= 'Z') ||
                                    (digits && c >= '0' && c <= '9') || (symbols && c > 32 && c < 127));
            }
            r.value.bytes = std::to_string(key.size()) + (inPool ? " from the pool" : " OUTSIDE the pool");
        } else if (step.name == "ENCRYPT") {
            // Random padding: what counts is that it decrypts to the data.
            std::vector<Value> args = step.args;
            const std::size_t length = args[0].bytes.size();
            args[0] = C(r.value.bytes);
            const CallResult back = m_host.Call("DECRYPT", args);
            r.value.bytes = std::to_string(r.value.bytes.size()) + " bytes, " +
                            (back.ok() && back.value.bytes.compare(0, length, step.args[0].bytes) == 0
                                 ? "decrypts to the data"
                                 : "DOES NOT decrypt to the data");
        } else if (step.name == "ENCRYPTFILE") {
            std::vector<Value> args = step.args;
            const std::string plain = FileBytes(args[0].bytes), check = step.output + ".check";
            args[0] = C(step.output);
            args[1] = C(check);
            const CallResult back = m_host.Call("DECRYPTFILE", args);
            // The file itself is described by its decryption, not its random bytes.
            r.message = back.ok() && FileBytes(check) == plain ? "decrypts to the input" : "DOES NOT decrypt";
            std::ofstream(step.output, std::ios::binary | std::ios::trunc) << r.message;
        }
    }

    Host m_host;
    hostsim::WorkAreas m_areas;
    hostsim::ExpressionEvaluator m_evaluator{m_areas};
};

struct ThreadReport {
    int mismatches = 0;
    std::string first;
    std::size_t handlesLeft = 0;
};

void RunConcurrently(int length) {
    Files files;
    std::vector<std::vector<Step>> sequences;
    std::vector<std::vector<std::string>> expected(kThreads);
    for (int t = 0; t < kThreads; ++t) sequences.push_back(Sequence(t, length, files));

    // The reference: every sequence alone, one after the other, on this thread.
    for (int t = 0; t < kThreads; ++t) {
        HostThread alone(t, files);
        for (const Step& step : sequences[static_cast<std::size_t>(t)]) expected[static_cast<std::size_t>(t)].push_back(alone.Run(step));
    }

    // The host loads the library once, before its threads call in.
    const hostsim::Module loaded(hostsim::Module::DefaultPath());
    std::vector<ThreadReport> reports(kThreads);
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const auto i = static_cast<std::size_t>(t);
            HostThread host(t, files);
            // Start together, so that the sequences really overlap.
            ready.fetch_add(1);
            while (ready.load() < kThreads) std::this_thread::yield();
            for (std::size_t n = 0; n < sequences[i].size(); ++n) {
                const std::string outcome = host.Run(sequences[i][n]);
                if (outcome != expected[i][n] && reports[i].mismatches++ == 0) {
                    reports[i].first = "step " + std::to_string(n) + " " + sequences[i][n].name + ":\n  alone:    " +
                                       expected[i][n].substr(0, 300) + "\n  together: " + outcome.substr(0, 300);
                }
            }
            reports[i].handlesLeft = host.Handles();
        });
    }
    for (std::thread& thread : threads) thread.join();

    for (int t = 0; t < kThreads; ++t) {
        const ThreadReport& r = reports[static_cast<std::size_t>(t)];
        EXPECT_EQ(r.mismatches, 0) << "thread " << t << ", first at " << r.first;
        EXPECT_EQ(r.handlesLeft, 0u) << "thread " << t << " left handles behind";
    }
    // The random calls were checked by their properties; make sure those held.
    for (const auto& outcomes : expected) {
        for (const std::string& o : outcomes) {
            ASSERT_EQ(o.find("OUTSIDE"), std::string::npos) << o.substr(0, 200);
            ASSERT_EQ(o.find("DOES NOT"), std::string::npos) << o.substr(0, 200);
        }
    }
}

TEST(ThreadStress, EightHostThreadsAgreeWithOneThread) { RunConcurrently(300); }

TEST(ThreadStress, EightHostThreadsTenThousandCallsEachLong) { RunConcurrently(10000); }

}  // namespace
}  // namespace mg::testing
