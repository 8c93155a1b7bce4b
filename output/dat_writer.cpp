#include "dat_writer.h"

#include "result_table.h"
#include "text.h"
#include "whole_file.h"

#include <algorithm>

namespace dozorira::output {
namespace {

constexpr char Tab = '\t';

// The most characters a cell of the .dat takes: its text or number, blanks and the tab after it.
std::size_t roomFor(const Cell& cell) {
    if (const auto* text = std::get_if<std::string_view>(&cell)) return text->size() + 1;
    return NumberRoom + 3;
}

char* writeField(char* at, const Cell& cell, char decimalSeparator) {
    if (const auto* text = std::get_if<std::string_view>(&cell)) {
        at = std::copy(text->begin(), text->end(), at);
    } else if (const auto* count = std::get_if<long long>(&cell)) {
        if (*count >= 0) *at++ = ' ';
        at = writeInteger(at, *count);
        *at++ = ' ';
    } else if (const auto* decimal = std::get_if<Thousandths>(&cell)) {
        at = writeDecimal(at, *decimal, decimalSeparator);
    }
    *at++ = Tab;
    return at;
}

// One line of cells, composed in place in record: a record is dozens of short numbers.
void composeLine(const std::vector<Cell>& cells, char decimalSeparator, std::string& record) {
    std::size_t room = LineEnd.size();
    for (const Cell& cell : cells)
        room += roomFor(cell);
    record.resize(room);
    char* at = record.data();
    for (const Cell& cell : cells)
        at = writeField(at, cell, decimalSeparator);
    at = std::copy(LineEnd.begin(), LineEnd.end(), at);
    record.resize(static_cast<std::size_t>(at - record.data()));
}

} // namespace

std::string formatNumber(long long value) {
    std::string out;
    composeLine({value}, '.', out);
    out.resize(out.size() - 1 - LineEnd.size());
    return out;
}

std::string columnNames(int clusterCount) {
    std::string out;
    for (const Column& column : wideColumns(clusterCount))
        out += column.name + Tab;
    out += LineEnd;
    return out;
}

std::string datRecord(const ParticipantResult& result, char decimalSeparator) {
    std::vector<Cell> cells;
    wideCells(result, cells);
    std::string out;
    composeLine(cells, decimalSeparator, out);
    return out;
}

void writeDat(const std::vector<ParticipantResult>& results, DatOptions options,
              files::WholeFile& out) {
    if (options.withColumnNames && !results.empty())
        out.write(columnNames(results.front().clusterCount()));
    std::vector<Cell> cells;
    std::string record;
    for (const ParticipantResult& result : results) {
        wideCells(result, cells);
        composeLine(cells, options.decimalSeparator, record);
        out.write(record);
    }
}

} // namespace dozorira::output
