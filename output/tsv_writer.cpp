#include "tsv_writer.h"

#include "text.h"

namespace dozorira::output {
namespace {

void appendCell(std::string& line, const Cell& cell, char decimalSeparator) {
    if (const auto* text = std::get_if<std::string_view>(&cell))
        line += *text;
    else if (const auto* count = std::get_if<long long>(&cell))
        appendInteger(line, *count);
    else if (const auto* decimal = std::get_if<Thousandths>(&cell))
        appendDecimal(line, *decimal, decimalSeparator);
}

} // namespace

void writeTsv(const ResultTable& table, char decimalSeparator, files::WholeFile& out) {
    std::string line;
    for (const Column& column : table.columns())
        line += column.name + '\t';
    line.back() = '\n';
    out.write(line);
    table.forEachRow([&](std::span<const Cell> cells) {
        line.clear();
        for (const Cell& cell : cells) {
            appendCell(line, cell, decimalSeparator);
            line += '\t';
        }
        line.back() = '\n';
        out.write(line);
    });
}

} // namespace dozorira::output
