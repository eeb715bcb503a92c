// Writes the table files that the tool's record cases open: a table in the
// host's own form with a memo file, and one in the dBase III form.
#include <filesystem>
#include <string>

#include "hostsim/dbf_writer.h"

using mg::hostsim::Cell;
using mg::hostsim::DbfForm;
using mg::hostsim::Field;
using mg::hostsim::Table;

int main(int argc, char** argv) {
    if (argc != 2) return 2;  // usage: mg_write_test_tables FOLDER; a failure ends in an uncaught exception
    const std::string folder = argv[1];
    std::filesystem::create_directories(folder);

    Table people({Field("NAME", 'C', 10), Field("BORN", 'D'), Field("SALARY", 'N', 8, 2), Field("ACTIVE", 'L'),
                  Field("NOTES", 'M')});
    people.Append({Cell::Text("Ada"), Cell::Date(1815, 12, 10), Cell::Number(4200.5), Cell::Logical(true),
                   Cell::Text("First program")});
    people.Append({Cell::Text("Charles"), Cell::Date(1791, 12, 26), Cell::Number(3900), Cell::Logical(false),
                   Cell::Text("Engines")});
    people.Append({Cell::Text("Grace"), Cell::Date(1906, 12, 9), Cell::Number(5100.25), Cell::Logical(true),
                   Cell::Text("")});
    people.SetDeleted(3, true);
    WriteDbf(people, folder + "/people.dbf", DbfForm::kHost);

    Table stock({Field("CODE", 'C', 4), Field("QTY", 'N', 5, 0)});
    stock.Append({Cell::Text("AB"), Cell::Number(12)});
    stock.Append({Cell::Text("C"), Cell::Number(7)});
    WriteDbf(stock, folder + "/stock.dbf", DbfForm::kDBase3);
    return 0;
}
