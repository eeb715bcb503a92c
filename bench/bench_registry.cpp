#include "bench/bench_registry.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <thread>

#include "cpu/cpu_features.h"

#if MG_BENCH_OPENSSL
#include <openssl/crypto.h>
#endif
#if MG_BENCH_BOTAN
#include <botan/version.h>
#endif
#if MG_BENCH_CRYPTOPP
#include <cryptopp/config.h>
#endif
#if MG_BENCH_ZLIB
#include <zlib.h>
#endif

namespace mg::bench {
namespace {

struct Declared {
    std::string row;
    std::string impl;
    Unit unit;
    double amount;
    bool realTime;
};

struct Target {
    double ratio;
    std::vector<std::string> against;  // empty: the best peer
};

struct Registry {
    std::map<std::string, Declared> byName;  // "<row>/<impl>"
    std::vector<std::string> rowOrder;
    std::map<std::string, Target> targets;
};

Registry& TheRegistry()
{
    static Registry registry;
    return registry;
}

struct Buffers {
    std::unique_ptr<unsigned char[]> in;
    std::unique_ptr<unsigned char[]> out;
    unsigned char* alignedIn;
    unsigned char* alignedOut;

    Buffers() : in(new unsigned char[kMaxBuffer + 64]), out(new unsigned char[kMaxBuffer + 64])
    {
        alignedIn = Align(in.get());
        alignedOut = Align(out.get());
        std::mt19937 rng(20240601);
        for (std::size_t i = 0; i < kMaxBuffer; ++i) alignedIn[i] = static_cast<unsigned char>(rng());
        std::memset(alignedOut, 0, kMaxBuffer);
    }
    static unsigned char* Align(unsigned char* p)
    {
        const auto address = reinterpret_cast<std::uintptr_t>(p);
        return p + ((64 - address % 64) % 64);
    }
};

Buffers& TheBuffers()
{
    static Buffers buffers;
    return buffers;
}

std::string Escape(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (static_cast<unsigned char>(c) < 0x20) continue;
        out += c;
    }
    return out;
}

std::string FormatRate(double rate, Unit unit)
{
    char text[64];
    if (unit == Unit::kBytes)
        std::snprintf(text, sizeof text, "%.0f MB/s", rate / 1e6);
    else if (rate < 1e3)
        std::snprintf(text, sizeof text, "%.1f /s", rate);  // slow by design: password hashes
    else
        std::snprintf(text, sizeof text, "%.0f k/s", rate / 1e3);
    return text;
}

std::string Cores()
{
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? std::string() : ", " + std::to_string(n) + (n == 1 ? " core" : " cores");
}

std::string CpuModel()
{
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line)) {
        if (line.rfind("model name", 0) == 0) {
            const auto colon = line.find(':');
            if (colon != std::string::npos) return line.substr(colon + 2);
        }
    }
    return "unknown CPU";
}

std::string CpuExtensions()
{
    const CpuFeatures f = DetectCpu();
    std::string out;
    const std::pair<bool, const char*> all[] = {
        {f.aesni, "AES-NI"},     {f.pclmul, "PCLMULQDQ"}, {f.sha, "SHA"},       {f.avx2, "AVX2"},
        {f.bmi2, "BMI2"},        {f.avx512f, "AVX-512F"}, {f.avx512bw, "AVX-512BW"}, {f.vaes, "VAES"},
        {f.vpclmul, "VPCLMULQDQ"},
    };
    for (const auto& [present, name] : all) {
        if (!present) continue;
        if (!out.empty()) out += ' ';
        out += name;
    }
    return out.empty() ? "none" : out;
}

std::string PeerVersions()
{
    std::string out;
#if MG_BENCH_OPENSSL
    out += std::string(OpenSSL_version(OPENSSL_VERSION)) + "; ";
#endif
#if MG_BENCH_BOTAN
    out += "Botan " + std::string(Botan::short_version_string()) + "; ";
#endif
#if MG_BENCH_CRYPTOPP
    out += "Crypto++ " + std::to_string(CRYPTOPP_VERSION / 100) + "." + std::to_string(CRYPTOPP_VERSION / 10 % 10) +
           "." + std::to_string(CRYPTOPP_VERSION % 10) + "; ";
#endif
#if MG_BENCH_MCRYPT
    out += "libmcrypt 2.5; ";
#endif
#if MG_BENCH_ARGON2
    out += "libargon2 (Debian 0~20171227); ";
#endif
#if MG_BENCH_ZLIB
    out += "zlib " + std::string(zlibVersion()) + "; ";
#endif
    if (out.size() >= 2) out.resize(out.size() - 2);
    return out;
}

}  // namespace

const unsigned char* Input() { return TheBuffers().alignedIn; }
unsigned char* Output() { return TheBuffers().alignedOut; }

void Declare(const std::string& row, const std::string& impl, Unit unit, double amount, bool realTime)
{
    Registry& r = TheRegistry();
    if (std::find(r.rowOrder.begin(), r.rowOrder.end(), row) == r.rowOrder.end()) r.rowOrder.push_back(row);
    r.byName[row + "/" + impl] = Declared{row, impl, unit, amount, realTime};
}

void SetTarget(const std::string& row, double ratio, const std::string& against)
{
    TheRegistry().targets[row] = Target{ratio, against.empty() ? std::vector<std::string>{} : std::vector{against}};
}

void SetTarget(const std::string& row, double ratio, const std::vector<std::string>& slowestOf)
{
    TheRegistry().targets[row] = Target{ratio, slowestOf};
}

void Report::Add(const std::string& benchmarkName, double iterations, double realSeconds, double cpuSeconds)
{
    const Registry& r = TheRegistry();
    const auto found = r.byName.find(benchmarkName);
    if (found == r.byName.end() || iterations <= 0) return;
    const Declared& d = found->second;
    // Rows that wait for the operating system (files) count the wall clock;
    // the others count CPU time, which other work on the machine disturbs less.
    const double seconds = d.realTime ? realSeconds : cpuSeconds;
    if (seconds <= 0) return;
    const double rate = d.amount * iterations / seconds;
    for (Measurement& m : m_vResults) {
        if (m.row == d.row && m.impl == d.impl) {
            m.rate = std::max(m.rate, rate);  // the best repetition: noise only ever slows down
            return;
        }
    }
    m_vResults.push_back(Measurement{d.row, d.impl, d.unit, rate});
}

namespace {

struct RowSummary {
    std::string row;
    Unit unit = Unit::kBytes;
    double library = 0;
    std::string bestPeer;
    double bestPeerRate = 0;
    std::map<std::string, double> all;
    bool hasTarget = false;
    Target target{};
    std::string referenceName;
    double reference = 0;
    double ratio = 0;  // library ÷ reference of the goal (or best peer without one)
};

std::vector<RowSummary> Summarise(const std::vector<Measurement>& results)
{
    const Registry& r = TheRegistry();
    std::map<std::string, RowSummary> rows;
    for (const Measurement& m : results) {
        RowSummary& s = rows[m.row];
        s.row = m.row;
        s.unit = m.unit;
        s.all[m.impl] = m.rate;
        if (m.impl == kLibrary) {
            s.library = m.rate;
        } else if (m.impl.rfind("ref-", 0) != 0 && m.rate > s.bestPeerRate) {
            s.bestPeer = m.impl;
            s.bestPeerRate = m.rate;
        }
    }
    std::vector<RowSummary> out;
    for (const std::string& name : r.rowOrder) {
        auto it = rows.find(name);
        if (it == rows.end()) continue;
        RowSummary s = it->second;
        const auto t = r.targets.find(name);
        s.referenceName = s.bestPeer;
        s.reference = s.bestPeerRate;
        if (t != r.targets.end()) {
            s.hasTarget = true;
            s.target = t->second;
            bool first = true;
            for (const std::string& against : t->second.against) {
                std::string name;
                double rate = 0;
                if (against.rfind("row:", 0) == 0) {
                    const auto other = rows.find(against.substr(4));
                    name = "mg in \"" + against.substr(4) + "\"";
                    rate = other == rows.end() ? 0 : other->second.library;
                } else {
                    const auto impl = s.all.find(against);
                    name = against;
                    rate = impl == s.all.end() ? 0 : impl->second;
                }
                // A reference that was not measured (filtered out) leaves the
                // others to decide; with none measured the ratio stays open.
                if (first || (rate > 0 && (s.reference <= 0 || rate < s.reference))) {
                    s.referenceName = name;
                    s.reference = rate;
                }
                first = false;
            }
        }
        s.ratio = s.reference > 0 && s.library > 0 ? s.library / s.reference : 0;
        out.push_back(s);
    }
    return out;
}

}  // namespace

std::string Report::Table() const
{
    std::ostringstream t;
    t << "| row | mg | best peer | reference of the goal | ratio | goal | met |\n";
    t << "|---|---:|---|---|---:|---:|:-:|\n";
    for (const RowSummary& s : Summarise(m_vResults)) {
        char ratio[32] = "-";
        if (s.ratio > 0) std::snprintf(ratio, sizeof ratio, "%.2f", s.ratio);
        std::string goal = "-";
        std::string met = "";
        if (s.hasTarget) {
            char g[32];
            std::snprintf(g, sizeof g, "≥ %.2f", s.target.ratio);
            goal = g;
            met = s.ratio >= s.target.ratio ? "yes" : "**no**";
        }
        const std::string best = s.bestPeer.empty() ? "-" : s.bestPeer + " " + FormatRate(s.bestPeerRate, s.unit);
        const std::string reference =
            s.referenceName.empty() ? "-" : s.referenceName + " " + FormatRate(s.reference, s.unit);
        t << "| " << s.row << " | " << (s.library > 0 ? FormatRate(s.library, s.unit) : "-") << " | " << best
          << " | " << reference << " | " << ratio << " | " << goal << " | " << met << " |\n";
    }
    return t.str();
}

std::string Report::Json(const std::string& machine) const
{
    std::ostringstream j;
    j << "{\n  \"machine\": " << machine << ",\n  \"rows\": [";
    bool first = true;
    for (const RowSummary& s : Summarise(m_vResults)) {
        j << (first ? "\n" : ",\n");
        first = false;
        j << "    {\"row\": \"" << Escape(s.row) << "\", \"unit\": \""
          << (s.unit == Unit::kBytes ? "bytes/s" : "calls/s") << "\", \"results\": {";
        bool firstImpl = true;
        for (const auto& [impl, rate] : s.all) {
            j << (firstImpl ? "" : ", ") << "\"" << Escape(impl) << "\": " << static_cast<long long>(rate);
            firstImpl = false;
        }
        j << "}, \"best_peer\": \"" << Escape(s.bestPeer) << "\", \"reference\": \"" << Escape(s.referenceName)
          << "\", \"ratio\": " << s.ratio;
        if (s.hasTarget)
            j << ", \"goal\": " << s.target.ratio << ", \"met\": " << (s.ratio >= s.target.ratio ? "true" : "false");
        j << "}";
    }
    j << "\n  ]\n}\n";
    return j.str();
}

std::string Report::MachineJson()
{
    std::ostringstream j;
    const std::time_t now = std::time(nullptr);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%d", std::gmtime(&now));
    j << "{\"cpu\": \"" << Escape(CpuModel() + Cores()) << "\", \"extensions\": \"" << CpuExtensions()
      << "\", \"compiler\": \"g++ " << Escape(__VERSION__) << "\", \"peers\": \"" << Escape(PeerVersions())
      << "\", \"date\": \"" << date << "\"}";
    return j.str();
}

std::string Report::MachineLine()
{
    const std::time_t now = std::time(nullptr);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%d", std::gmtime(&now));
    return CpuModel() + Cores() + " (" + CpuExtensions() + "), g++ " + __VERSION__ + "; peers: " + PeerVersions() + "; " +
           date;
}

}  // namespace mg::bench
