#include "tools/call_command.h"

#include <cstdint>

#include "tools/expression.h"
#include "tools/library.h"
#include "tools/names.h"
#include "tools/result_writer.h"
#include "tools/session.h"
#include "tools/usage_error.h"
#include "tools/value_display.h"

namespace mg::tool {
namespace {

int Run(const CommandLine& line, Session& session) {
    line.ExpectPositionals(1, 1, "expression");
    const Expression expression(line.Positionals()[0]);
    std::int32_t record = 0;
    if (const auto r = line.Value("record")) {
        record = ParseInt32(*r, "record number");
        if (!line.Has("table")) throw UsageError("--record needs a --table");
        if (record < 1) throw UsageError("record numbers start at 1");
    }
    Library& library = session.Lib();
    std::string first;
    for (const std::string& path : line.Values("table")) {
        const std::string alias = library.OpenTable(path);
        if (first.empty()) first = alias;
    }
    if (record != 0) library.Areas().Find(first)->Go(static_cast<std::size_t>(record));
    ResultWriter out(line.Value("out").value_or("-"));
    const Value result = expression.Evaluate(library);
    out.WriteText(ValueDisplay::Show(result));
    out.Finish();
    return 0;
}

}  // namespace

Command CallCommand::Make() {
    return {"call",
            "call EXPR [options]",
            "evaluate an expression in the host's syntax and show its value",
            "EXPR may use the library's functions (nested calls too), strings in '...', \"...\" or [...],\n"
            "binary literals 0h..., numbers, .T. and .F., unary minus, and + to join strings or add numbers.\n"
            "Function names may be written in any letter case. The result shows as the host shows it: text\n"
            "when it is printable, 0h and hex digits otherwise, numbers as numbers, .T. and .F.; a function\n"
            "that returns nothing shows .T. The whole expression is checked before anything runs.",
            {{"table", 0, "FILE",
              "open a table file first, under its file name as alias (may be repeated; the first one is "
              "selected)"},
             {"record", 'r', "N", "move the first table to record N (default: its first record)"},
             {"out", 'o', "FILE", "write the result to FILE instead of standard output"}},
            {"marrowgate call \"HASH('abc', 2)\"",
             "marrowgate call \"DECRYPT(ENCRYPT('secret message', 'k3y', 4, 1, 2), 'k3y', 4, 1, 2)\"",
             "marrowgate call \"CRC([abc] + \\\"def\\\", 1)\"",
             "marrowgate call --table customers.dbf -r 2 \"HASHRECORD('customers', 2)\"",
             "marrowgate call \"HMAC(0h4869205468657265, 0h0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b, 2)\""},
            Run};
}

}  // namespace mg::tool
