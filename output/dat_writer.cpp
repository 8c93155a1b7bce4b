#include "dat_writer.h"

#include "result_table.h"
#include "text.h"
#include "whole_file.h"

namespace dozorira::output {
namespace {

constexpr char Tab = '\t';

void appendField(std::string& out, const Cell& cell, char decimalSeparator) {
    if (const auto* text = std::get_if<std::string_view>(&cell)) {
        out += *text;
    } else if (const auto* count = std::get_if<long long>(&cell)) {
        if (*count >= 0) out += ' ';
        appendInteger(out, *count);
        out += ' ';
    } else if (const auto* decimal = std::get_if<Thousandths>(&cell)) {
        appendDecimal(out, *decimal, decimalSeparator);
    }
    out += Tab;
}

} // namespace

std::string formatNumber(long long value) {
    std::string out;
    appendField(out, value, '.');
    out.pop_back();
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
    for (const Cell& cell : cells)
        appendField(out, cell, decimalSeparator);
    out += LineEnd;
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
        record.clear();
        for (const Cell& cell : cells)
            appendField(record, cell, options.decimalSeparator);
        record += LineEnd;
        out.write(record);
    }
}

} // namespace dozorira::output
