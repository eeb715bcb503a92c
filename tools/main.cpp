// marrowgate: the library's functions from the command line, called through
// DispatchAPI by the substitute host exactly as the real host calls them.
#include <cstdio>
#include <exception>
#include <string>

#include "hostsim/host.h"

namespace {

using mg::hostsim::Host;
using mg::hostsim::Value;

int Tour() {
    Host host;
    std::printf("marrowgate tour\n===============\n\nLoaded %s\n\nFunctions published to the host:\n",
                mg::hostsim::Module::DefaultPath().c_str());
    for (const auto& row : host.Rows()) {
        std::printf("  %-12s %3d  \"%s\"\n", row.name.c_str(), row.parameterCount, row.typeString.c_str());
    }
    std::printf("\nRandom keys (GENERATEKEY):\n");
    struct Example {
        const char* call;
        std::vector<Value> args;
    } examples[] = {
        {"GENERATEKEY(16)", {Value::Int(16)}},
        {"GENERATEKEY(16, .T.)", {Value::Int(16), Value::Bool(true)}},
        {"GENERATEKEY(32, .T., .T., .T.)", {Value::Int(32), Value::Bool(true), Value::Bool(true), Value::Bool(true)}},
    };
    for (const Example& e : examples) {
        const auto r = host.Call("GENERATEKEY", e.args);
        if (!r.ok()) {
            std::fprintf(stderr, "%s failed: %s\n", e.call, r.message.c_str());
            return 1;
        }
        std::printf("  %-32s %s\n", e.call, r.value.bytes.c_str());
    }
    std::printf("\nDone.\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const std::string command = argc > 1 ? argv[1] : "tour";
        if (command == "tour") return Tour();
        std::fprintf(stderr, "usage: marrowgate tour\n");
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "marrowgate: %s\n", e.what());
        return 1;
    }
}
