// Eight host threads, each with its own substitute host and open table, run
// mixed sequences of every function at once; each thread's results must equal
// those of its sequence run alone first. Also run under ThreadSanitizer.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <sstream>
#include <thread>

#include "tests/functions/host_fixture.h"

namespace mg::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kThreads = 8;

// `output`: a file the call writes, part of the outcome; `random`: a call whose
// bytes are random by design, compared by their properties instead.
struct Step {
    std::string name;
    std::vector<Value> args;
    std::string output{};
    bool random = false;
};

std::string Describe(const CallResult& r) {
    const Value& v = r.value;
    std::ostringstream out;
    out << "error " << r.error << " [" << r.message << "] kind " << static_cast<int>(v.kind) << " " << v.bytes.size() << ":"
        << v.bytes << " " << v.integer << " " << v.number << "/" << v.width << "/" << v.decimals << " " << v.truth;
    return out.str();
}

// Shared input files and each thread's own outputs, in /dev/shm where there is
// one: rewriting files on a disk mostly measures its write-back.
class Files {
public:
    Files() {
        std::error_code ignored;
        const fs::path base = fs::is_directory("/dev/shm", ignored) ? fs::path("/dev/shm") : fs::temp_directory_path();
        m_path = base / ("mg_stress_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        fs::create_directories(m_path);
        for (std::size_t size : {0u, 1u, 100u, 384u, 385u, 1000u, 1536u, 5000u}) {
            m_vShared.push_back((m_path / ("shared" + std::to_string(size))).string());
            WriteFile(m_vShared.back(), Pattern(size));
        }
    }
    ~Files() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }

    const std::string& Shared(std::size_t i) const { return m_vShared[i % m_vShared.size()]; }
    std::string Own(int thread, const std::string& name) const {
        return (m_path / ("t" + std::to_string(thread) + "_" + name)).string();
    }
    void ClearOwn(int thread) const {
        for (const char* name : {"enc", "dec", "enc.check"}) std::remove(Own(thread, name).c_str());
    }

private:
    fs::path m_path;
    std::vector<std::string> m_vShared;
};

// Every function, argument counts and values drawn from a generator seeded by the thread.
std::vector<Step> Sequence(int thread, int length, const Files& files) {
    std::mt19937 rng(static_cast<std::uint32_t>(7919 * (thread + 1)));
    auto below = [&rng](std::uint32_t n) { return static_cast<std::int32_t>(rng() % n); };
    auto bytes = [&](std::uint32_t limit) {
        std::string s(static_cast<std::size_t>(below(limit + 1)), '\0');
        for (char& c : s) c = static_cast<char>(rng());
        return s;
    };
    // A few keys, so that objects meet a key again as well as new ones.
    std::vector<std::string> keys;
    for (int i = 0; i < 4; ++i) keys.push_back(bytes(40) + "k");
    auto key = [&] { return C(keys[static_cast<std::size_t>(below(4))]); };
    auto shared = [&] { return files.Shared(static_cast<std::size_t>(below(8))); };
    const std::int32_t types[] = {0, 1, 2, 3, 4, 8, 1024, -1};
    const std::int32_t sizes[] = {16, 24, 32, 0};
    // The optional cipher arguments, some left out; padding 4 is random.
    auto cipherArgs = [&](Step& s) {
        const std::int32_t extra = below(7), padding = below(6) - 1;
        const Value all[] = {I(types[below(8)]), I(below(6) - 1), I(padding), I(sizes[below(4)]),
                             I(sizes[below(4)]), C(bytes(40))};
        for (std::int32_t i = 0; i < extra; ++i) s.args.push_back(all[i]);
        s.random = extra >= 3 && padding == 4 && s.name.rfind("ENCRYPT", 0) == 0;
    };

    std::vector<Step> steps;
    while (static_cast<int>(steps.size()) < length) {
        Step s;
        switch (below(19)) {
            case 0:
            case 1:
                s.name = below(2) ? "ENCRYPT" : "DECRYPT";
                s.args = {C(bytes(600)), key()};
                cipherArgs(s);
                break;
            case 2:
            case 3: {
                s = {"ENCRYPTFILE", {C(shared()), C(files.Own(thread, "enc")), key()}, files.Own(thread, "enc")};
                cipherArgs(s);
                steps.push_back(s);
                // Mostly with the same settings, so that most decryptions succeed.
                if (below(4) == 0) continue;
                s.args[0] = C(s.output);
                s.output = files.Own(thread, "dec");
                s.args[1] = C(s.output);
                s.name = "DECRYPTFILE";
                s.random = false;
                break;
            }
            case 4:
                s = {"DECRYPTFILE", {C(files.Own(thread, "enc")), C(files.Own(thread, "dec")), key()},
                     files.Own(thread, "dec")};
                cipherArgs(s);
                break;
            case 5: s = {"HASH", {C(bytes(1000)), I(below(10) - 1)}}; break;
            case 6: s = {"HMAC", {C(bytes(300)), C(bytes(200)), I(below(10) - 1)}}; break;
            case 7: s = {"HASHFILE", {C(below(4) ? shared() : files.Own(thread, "enc")), I(below(10) - 1)}}; break;
            case 8: s = {"CRC", {C(bytes(1000)), I(below(4) - 1)}}; break;
            case 9: s = {"CRCFILE", {C(below(4) ? shared() : files.Own(thread, "dec")), I(below(4) - 1)}}; break;
            case 10: s = {"GETRECSTR", {C(below(4) ? "orders" : ""), L(below(2))}}; break;
            case 11: s = {"HASHRECORD", {C(below(4) ? "orders" : "nothere"), I(below(9)), L(below(2))}}; break;
            case 12: s = {"CRCRECORD", {C("orders"), I(below(3)), L(below(2))}}; break;
            case 13: s = {"GENERATEKEY", {I(below(70) - 5), L(below(2)), L(below(2)), L(below(2))}, "", true}; break;
            case 15: s = {"DERIVEKEY", {key(), C(bytes(20)), I(below(40) - 2), I(below(80)), I(below(9))}}; break;
            case 16:
                s = {"VERIFYPASSWORD",
                     {C(below(2) ? "password" : "passwore"),
                      C("$argon2id$v=19$m=64,t=2,p=1$c29tZXNhbHQ$FqGkmHNGCd0BRW2kBt6fPZ2pPmyGwwChL8FGUhTOSSI")}};
                break;
            case 17:
            case 18: {
                // An AES key of each size; the context left out at times.
                const std::string sealKey(static_cast<std::size_t>(16 + 8 * below(3)), static_cast<char>('a' + below(4)));
                std::vector<Value> args = {C(bytes(300)), C(sealKey)};
                if (below(2)) args.push_back(C(bytes(20)));
                s = {"SEAL", args, "", true};
                if (below(3) == 0) {  // a sealed value's bytes that were never sealed
                    s.name = "UNSEAL";
                    s.random = false;
                }
                break;
            }
            default: s.name = "ONLOAD"; break;
        }
        steps.push_back(s);
    }
    steps.resize(static_cast<std::size_t>(length));
    return steps;
}

class HostThread {
public:
    HostThread(int thread, const Files& files) {
        files.ClearOwn(thread);
        m_areas.Open(Orders("c" + std::to_string(thread), std::string(static_cast<std::size_t>(thread + 1), 'm')), "orders");
        m_evaluator.AttachTo(m_host);
    }

    std::string Run(const Step& step) {
        CallResult r = m_host.Call(step.name, step.args);
        if (step.random && r.ok()) Normalise(step, r);
        return Describe(r) + (step.output.empty() ? "" : " file " + ReadFile(step.output));
    }

    std::size_t Handles() const { return m_host.OccupiedHandles(); }

private:
    void Normalise(const Step& step, CallResult& r) {
        if (step.name == "GENERATEKEY") {
            const bool digits = step.args[1].logical, upper = step.args[2].logical, symbols = step.args[3].logical;
            bool inPool = true;
            for (unsigned char c : r.value.bytes) {
                inPool = inPool && ((c >= 'a' && c <= 'z') || (upper && c >= 'A' && c <= 'Z') ||
                                    (digits && c >= '0' && c <= '9') || (symbols && c > 32 && c < 127));
            }
            r.value.bytes = std::to_string(r.value.bytes.size()) + (inPool ? " from the pool" : " WRONG: outside the pool");
            return;
        }
        if (step.name == "SEAL") {
            std::vector<Value> args = step.args;
            args[0] = C(r.value.bytes);
            const CallResult back = m_host.Call("UNSEAL", args);
            const bool same = back.ok() && back.value.bytes == step.args[0].bytes;
            r.value.bytes = std::to_string(r.value.bytes.size()) + (same ? " unseals to the data" : " WRONG: does not unseal");
            return;
        }
        // Random padding: what counts is that it decrypts to the data.
        std::vector<Value> args = step.args;
        if (step.name == "ENCRYPT") {
            args[0] = C(r.value.bytes);
            const CallResult back = m_host.Call("DECRYPT", args);
            const bool same = back.ok() && back.value.bytes.compare(0, step.args[0].bytes.size(), step.args[0].bytes) == 0;
            r.value.bytes = std::to_string(r.value.bytes.size()) + (same ? " decrypts to the data" : " WRONG: does not decrypt");
        } else {
            const std::string check = step.output + ".check";
            args[0] = C(step.output);
            args[1] = C(check);
            const CallResult back = m_host.Call("DECRYPTFILE", args);
            const bool same = back.ok() && ReadFile(check) == ReadFile(step.args[0].bytes);
            r.message = same ? "decrypts to the input" : "WRONG: does not decrypt";
            WriteFile(step.output, r.message);
        }
    }

    Host m_host;
    hostsim::WorkAreas m_areas;
    hostsim::ExpressionEvaluator m_evaluator{m_areas};
};

void RunConcurrently(int length) {
    Files files;
    std::vector<std::vector<Step>> sequences;
    std::vector<std::vector<std::string>> expected(kThreads);
    for (int t = 0; t < kThreads; ++t) sequences.push_back(Sequence(t, length, files));

    // The reference: every sequence alone on this thread.
    for (std::size_t t = 0; t < kThreads; ++t) {
        HostThread alone(static_cast<int>(t), files);
        for (const Step& step : sequences[t]) expected[t].push_back(alone.Run(step));
        for (const std::string& o : expected[t]) ASSERT_EQ(o.find("WRONG"), std::string::npos) << o.substr(0, 200);
    }

    const hostsim::Module loaded(hostsim::Module::DefaultPath());
    std::vector<std::string> firstMismatch(kThreads);
    std::vector<int> mismatches(kThreads, 0);
    std::vector<std::size_t> handlesLeft(kThreads, 0);
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            HostThread host(static_cast<int>(t), files);
            ready.fetch_add(1);
            while (ready.load() < kThreads) std::this_thread::yield();
            for (std::size_t n = 0; n < sequences[t].size(); ++n) {
                const std::string outcome = host.Run(sequences[t][n]);
                if (outcome != expected[t][n] && mismatches[t]++ == 0) {
                    firstMismatch[t] = "step " + std::to_string(n) + " " + sequences[t][n].name + ":\n  alone:    " +
                                       expected[t][n].substr(0, 300) + "\n  together: " + outcome.substr(0, 300);
                }
            }
            handlesLeft[t] = host.Handles();
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (std::size_t t = 0; t < kThreads; ++t) {
        EXPECT_EQ(mismatches[t], 0) << "thread " << t << ", first at " << firstMismatch[t];
        EXPECT_EQ(handlesLeft[t], 0u) << "thread " << t << " left handles behind";
    }
}

TEST(ThreadStress, EightHostThreadsAgreeWithOneThread) { RunConcurrently(300); }

TEST(ThreadStress, EightHostThreadsTenThousandCallsEachLong) { RunConcurrently(10000); }

}  // namespace
}  // namespace mg::testing
