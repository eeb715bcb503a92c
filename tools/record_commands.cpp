#include "tools/record_commands.h"

#include <cstdint>

#include "tools/library.h"
#include "tools/names.h"
#include "tools/result_writer.h"
#include "tools/session.h"
#include "tools/usage_error.h"
#include "tools/value_display.h"

namespace mg::tool {

namespace {

enum class Kind { RecordString, Hash, Crc };

struct RecordFunction {
    const char* function;
    Kind kind;
};

std::vector<Value> Arguments(const CommandLine& line, const std::string& alias, Kind kind) {
    std::vector<Value> args = {Value::Of(alias)};
    const bool memo = line.Has("memo");
    if (kind == Kind::RecordString) {
        if (memo) args.push_back(Value::Bool(true));
        return args;
    }
    const NameTable& types = kind == Kind::Hash ? NameTable::HashTypes() : NameTable::CrcTypes();
    const auto type = line.Value("type");
    // lMemo sits behind nType: asking for memos passes the default type too.
    if (type || memo) args.push_back(Value::Int(type ? types.Parse(*type) : (kind == Kind::Hash ? 4 : 2)));
    if (memo) args.push_back(Value::Bool(true));
    return args;
}

int Run(const CommandLine& line, Session& session, const RecordFunction& what) {
    line.ExpectPositionals(1, 1, "table file");
    std::int64_t only = 0;
    if (const auto record = line.Value("record")) {
        only = ParseInt32(*record, "record number");
        if (only < 1) throw UsageError("record numbers start at 1");
    }
    const std::string crcFormat = line.Value("format").value_or("dec");
    if (what.kind == Kind::Crc) ValueDisplay::Checksum(Value::Int(0), crcFormat);
    // The CRC commands show numbers: their --format is not a byte format.
    ResultWriter out = what.kind == Kind::Crc ? ResultWriter(line.Value("out").value_or("-"))
                                              : ResultWriter(line, what.kind == Kind::Hash ? Format::Hex : Format::Raw);

    Library& library = session.Lib();
    const std::string alias = library.OpenTable(line.Positionals()[0], line.Value("alias").value_or(""));
    hostsim::Table& table = *library.Areas().Find(alias);
    library.Areas().Select(alias);
    library.Areas().Settings().century = line.Has("century");
    const std::int64_t count = static_cast<std::int64_t>(table.RecordCount());
    if (only > count) {
        throw UsageError("record " + std::to_string(only) + " is beyond the last record (" + std::to_string(count) +
                         ")");
    }
    const std::vector<Value> args = Arguments(line, alias, what.kind);
    for (std::int64_t recno = only ? only : 1; recno <= (only ? only : count); ++recno) {
        table.Go(static_cast<std::size_t>(recno));
        const Value result = library.Call(what.function, args);
        if (what.kind == Kind::Crc) {
            out.WriteText(ValueDisplay::Checksum(result, crcFormat));
        } else if (only) {
            out.Write(result.bytes);
        } else {
            out.WriteLine(result.bytes);
        }
    }
    out.Finish();
    return 0;
}

std::vector<OptionInfo> CommonOptions() {
    return {
        {"record", 'r', "N", "only record N (default: every record, one line each, deleted ones too)"},
        {"memo", 0, "", "include memo fields (passes lMemo = .T.; default: memos are left out)"},
        {"alias", 'a', "NAME", "the alias to open the table under (default: the file's name)"},
        {"century", 0, "", "dates with four-digit years (the host's SET CENTURY ON)"},
    };
}

}  // namespace

std::vector<Command> RecordCommands::All() {
    const std::string details =
        "The substitute host opens TABLE (a .dbf file, dBase III or the host's own form with its .fpt memo\n"
        "file) in a work area, moves to each record and calls the function with the table's alias. The\n"
        "record string joins every field's default text form (character fields with their trailing\n"
        "blanks, numbers with the field's decimals, dates MM/DD/YY, logicals .T./.F.) without separators.";
    std::vector<Command> commands;
    std::vector<OptionInfo> options = CommonOptions();
    for (const OptionInfo& o : ResultWriter::Options(Format::Raw)) options.push_back(o);
    commands.push_back({"getrecstr", "getrecstr TABLE [--record N] [--memo] [options]",
                        "GETRECSTR: the record string of table records",
                        "Calls GETRECSTR(cAlias, lMemo).\n" + details, options,
                        {"marrowgate getrecstr customers.dbf", "marrowgate getrecstr customers.dbf --record 3 --memo"},
                        [](const CommandLine& l, Session& s) { return Run(l, s, {"GETRECSTR", Kind::RecordString}); }});

    options = CommonOptions();
    options.push_back({"type", 't', "TYPE", NameTable::HashTypes().List() + " (default sha512)"});
    for (const OptionInfo& o : ResultWriter::Options(Format::Hex)) options.push_back(o);
    commands.push_back({"hashrecord", "hashrecord TABLE [-t TYPE] [--record N] [--memo] [options]",
                        "HASHRECORD: digest of table records",
                        "Calls HASHRECORD(cAlias, nType, lMemo): HASH of the record string.\n" + details, options,
                        {"marrowgate hashrecord customers.dbf -t sha256", "marrowgate hashrecord customers.dbf -r 2 --memo"},
                        [](const CommandLine& l, Session& s) { return Run(l, s, {"HASHRECORD", Kind::Hash}); }});

    options = CommonOptions();
    options.push_back({"type", 't', "TYPE", NameTable::CrcTypes().List() + " (default crc32)"});
    options.push_back({"format", 'f', "FMT", "dec or hex (default dec)"});
    options.push_back({"out", 'o', "FILE", "write the results to FILE instead of standard output"});
    commands.push_back({"crcrecord", "crcrecord TABLE [-t TYPE] [--record N] [--memo] [options]",
                        "CRCRECORD: checksum of table records",
                        "Calls CRCRECORD(cAlias, nType, lMemo): CRC of the record string.\n" + details, options,
                        {"marrowgate crcrecord customers.dbf", "marrowgate crcrecord customers.dbf -t crc16 -f hex"},
                        [](const CommandLine& l, Session& s) { return Run(l, s, {"CRCRECORD", Kind::Crc}); }});
    return commands;
}

}  // namespace mg::tool
