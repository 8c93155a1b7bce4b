#include "dat_writer.h"

#include "result_table.h"
#include "text.h"
#include "whole_file.h"

#include <algorithm>
#include <array>

namespace dozorira::output {
namespace {

constexpr char Tab = '\t';

// A count as the .dat shows it: a blank for its sign, its digits, a blank and the tab.
char* writeCount(char* at, long long count) {
    if (count >= 0) *at++ = ' ';
    at = writeInteger(at, count);
    at[0] = ' ';
    at[1] = Tab;
    return at + 2;
}

char* writeMean(char* at, Thousandths mean, char decimalSeparator) {
    at = writeDecimal(at, mean, decimalSeparator);
    *at++ = Tab;
    return at;
}

// The cells of wideCells, written straight from the result into room, which only grows: a run
// writes thousands of records of dozens of short numbers each.
std::string_view composeRecord(const ParticipantResult& result, char decimalSeparator,
                               std::string& room) {
    constexpr std::size_t CellRoom = NumberRoom + 3;
    const std::size_t most =
        result.subject.size() + 1 + CellRoom * (1 + 5 * result.clusters.size()) + LineEnd.size();
    if (room.size() < most) room.resize(most);
    char* at = std::copy(result.subject.begin(), result.subject.end(), room.data());
    *at++ = Tab;
    at = writeCount(at, result.clusterCount());
    for (const ClusterResult& cluster : result.clusters) {
        at = writeCount(at, cluster.trials);
        at = writeCount(at, cluster.boxes);
        at = writeMean(at, cluster.meanOpened, decimalSeparator);
        at = writeMean(at, cluster.meanWithinErrors, decimalSeparator);
        at = writeMean(at, Thousandths::of(cluster.betweenErrors), decimalSeparator);
    }
    at = std::copy(LineEnd.begin(), LineEnd.end(), at);
    return {room.data(), static_cast<std::size_t>(at - room.data())};
}

} // namespace

std::string formatNumber(long long value) {
    std::array<char, NumberRoom + 3> text{};
    char* const tab = writeCount(text.data(), value) - 1;
    return {text.data(), tab};
}

std::string columnNames(int clusterCount) {
    std::string out;
    for (const Column& column : wideColumns(clusterCount))
        out += column.name + Tab;
    out += LineEnd;
    return out;
}

std::string datRecord(const ParticipantResult& result, char decimalSeparator) {
    std::string room;
    return std::string(composeRecord(result, decimalSeparator, room));
}

void writeDat(const std::vector<ParticipantResult>& results, DatOptions options,
              files::WholeFile& out) {
    if (options.withColumnNames && !results.empty())
        out.write(columnNames(results.front().clusterCount()));
    std::string room;
    for (const ParticipantResult& result : results)
        out.write(composeRecord(result, options.decimalSeparator, room));
}

} // namespace dozorira::output
