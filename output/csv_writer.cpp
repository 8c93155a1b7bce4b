#include "csv_writer.h"

#include "text.h"

namespace dozorira::output {
namespace {

void appendText(std::string& line, std::string_view text, char fieldSeparator) {
    const char mustQuote[] = {fieldSeparator, '"', '\r', '\n', '\0'};
    if (text.find_first_of(mustQuote) == std::string_view::npos) {
        line += text;
        return;
    }
    line += '"';
    for (const char c : text) {
        if (c == '"') line += '"';
        line += c;
    }
    line += '"';
}

void appendCell(std::string& line, const Cell& cell, char decimalSeparator, char fieldSeparator) {
    if (const auto* text = std::get_if<std::string_view>(&cell))
        appendText(line, *text, fieldSeparator);
    else if (const auto* count = std::get_if<long long>(&cell))
        appendInteger(line, *count);
    else if (const auto* decimal = std::get_if<Thousandths>(&cell))
        appendDecimal(line, *decimal, decimalSeparator);
}

void endLine(std::string& line, files::WholeFile& out) {
    line.back() = '\r'; // in place of the separator after the last field
    line += '\n';
    out.write(line);
}

} // namespace

void writeCsv(const ResultTable& table, char decimalSeparator, files::WholeFile& out) {
    const char fieldSeparator = decimalSeparator == ',' ? ';' : ',';
    std::string line;
    for (const Column& column : table.columns()) {
        appendText(line, column.name, fieldSeparator);
        line += fieldSeparator;
    }
    endLine(line, out);
    table.forEachRow([&](std::span<const Cell> cells) {
        line.clear();
        for (const Cell& cell : cells) {
            appendCell(line, cell, decimalSeparator, fieldSeparator);
            line += fieldSeparator;
        }
        endLine(line, out);
    });
}

} // namespace dozorira::output
