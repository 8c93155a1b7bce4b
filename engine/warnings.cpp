#include "warnings.h"

#include <algorithm>
#include <array>
#include <utility>

namespace dozorira {
namespace {

using Warnings = std::vector<Warning>;

// A line feed in a header moves the header's end, so the data line after it goes unread.
void warnOfHeaders(const ClusterTables& tables, Warnings& warnings) {
    for (std::size_t h = 0; h < tables.headerHoldsLineFeed.size(); ++h) {
        if (!tables.headerHoldsLineFeed[h]) continue;
        std::string problem = "header line " + std::to_string(h + 1) +
                              " holds a line feed without a carriage return: if it was meant to "
                              "end a line, the first data line is skipped with the header lines "
                              "and its trial counts nowhere";
        warnings.push_back({{}, 0, std::move(problem), -1, WarningKind::LineFeedInHeader});
    }
}

void warnOfLinesOutsideClusters(const ClusterTables& tables, Warnings& warnings) {
    if (tables.ClusterCount == 0)
        warnings.push_back({{},
                            0,
                            "no data line has row number 0, so the file holds no cluster: its "
                            "record holds no numbers, only the subject and a cluster count of 0",
                            -1,
                            WarningKind::NoRowZero});
    const int stray = tables.cluster(0).LineCount;
    if (stray == 0) return;
    std::string problem = stray == 1 ? "data line 1 comes before any row number 0, so it belongs "
                                       "to no cluster and counts in none of the numbers"
                                     : "data lines 1 to " + std::to_string(stray) +
                                           " come before any row number 0, so they belong to no "
                                           "cluster and count in none of the numbers";
    warnings.push_back({{}, 1, std::move(problem), -1, WarningKind::LinesBeforeRowZero});
}

std::string trialCountProblem(int number, const Cluster& cluster) {
    const int trials = cluster.TrialCount;
    const int lines = cluster.LineCount;
    std::string problem =
        "cluster " + std::to_string(number) + " counts " + counted(trials, "trial", "trials") +
        " (its last row number plus one) but holds " + counted(lines, "line", "lines") + ": ";
    if (trials > lines) {
        const int empty = trials - lines;
        problem += empty == 1 ? "1 trial has no line and counts as a trial"
                              : std::to_string(empty) + " trials have no line and count as trials";
        return problem + " that opened no box, which lowers the cluster's means";
    }
    const int leftOut = lines - std::max(trials, 0);
    problem +=
        leftOut == 1 ? "its last line is" : "its last " + std::to_string(leftOut) + " lines are";
    return problem + " left out of the means and of the between-search errors";
}

// Named at the cluster's last line, whose row number sets the trial count.
void warnOfTrialCounts(const ClusterTables& tables, Warnings& warnings) {
    for (int c = 1; c <= tables.ClusterCount; ++c) {
        const Cluster& cluster = tables.cluster(c);
        if (cluster.TrialCount == cluster.LineCount) continue;
        const WarningKind kind = cluster.TrialCount > cluster.LineCount
                                     ? WarningKind::RowsThatSkip
                                     : WarningKind::RowsThatStepBack;
        warnings.push_back({{}, cluster.LastDataLine, trialCountProblem(c, cluster), -1, kind});
    }
}

void warnOfLineFeeds(const ClusterTables& tables, Warnings& warnings) {
    for (const auto& [line, count] : tables.dataLinesWithLineFeeds) {
        std::string problem = "the line holds ";
        problem += count == 1 ? "a line feed without a carriage return: an editor shows it as a "
                                "line break"
                              : std::to_string(count) + " line feeds without a carriage return: "
                                                        "an editor shows them as line breaks";
        problem += ", but only CR or CR LF end a line, so all of it is read as one data line, one "
                   "trial";
        warnings.push_back({{}, line, std::move(problem), -1, WarningKind::LineFeedInLine});
    }
}

// Why each kind of odd number reads as it does, and what the data lines that have it hold.
struct OddNumberWording {
    const char* why;
    const char* holding;
};
constexpr std::array<OddNumberWording, NumberQuirkKinds> OddNumberWordings = {{
    {"a numeric field with no leading number reads as 0", "a numeric field without a number"},
    {"reading a number stops at the first character that cannot continue it",
     "text after a number"},
    {"&H leads a hexadecimal number and &O an octal one", "a number in hexadecimal or octal"},
    {"a number that is not whole is rounded, an exact half to the even neighbour",
     "a number that gets rounded"},
}};

std::string oddNumberProblem(const OddNumbers& odd, const OddNumberWording& wording) {
    // Qualified, as std::quoted, found through the std::string, would be the closer match.
    std::string problem = dozorira::quoted(odd.text) + " reads as " + std::to_string(odd.value);
    if (odd.startedCluster > 0)
        problem += " and starts cluster " + std::to_string(odd.startedCluster);
    problem += ": ";
    problem += wording.why;
    problem += odd.lineCount == 1
                   ? " (the only data line with "
                   : " (the first of " + std::to_string(odd.lineCount) + " data lines with ";
    return problem + wording.holding + ")";
}

static_assert(static_cast<int>(WarningKind::RoundedNumber) -
                      static_cast<int>(WarningKind::FieldWithoutNumber) + 1 ==
                  NumberQuirkKinds,
              "a kind of warning for every kind of odd number, in their order");

// The number rule reads these fields without an error, yet not as a researcher would.
void warnOfOddNumbers(const ClusterTables& tables, Warnings& warnings) {
    for (std::size_t kind = 0; kind < tables.oddNumbers.size(); ++kind) {
        const OddNumbers& odd = tables.oddNumbers[kind];
        if (odd.lineCount == 0) continue;
        const auto warningKind = static_cast<WarningKind>(
            static_cast<int>(WarningKind::FieldWithoutNumber) + static_cast<int>(kind));
        warnings.push_back({{},
                            odd.firstDataLine,
                            oddNumberProblem(odd, OddNumberWordings[kind]),
                            odd.field,
                            warningKind});
    }
}

// Field 6 feeds the Open column, field 7 the between-search errors.
void warnOfOpenedCounts(const ClusterTables& tables, Warnings& warnings) {
    const OpenedCountsOff& off = tables.openedCountsOff;
    if (off.lineCount == 0) return;
    std::string problem = "it counts " + counted(off.counted, "box", "boxes") +
                          " opened but field 7 lists " + std::to_string(off.listed.size()) + " (" +
                          dozorira::quoted(off.listed) +
                          "): the Open column averages field 6, while the between-search errors "
                          "come from the boxes of field 7";
    problem += off.lineCount == 1 ? " (the only data line where they differ)"
                                  : " (the first of " + std::to_string(off.lineCount) +
                                        " data lines where they differ)";
    warnings.push_back({{}, off.firstDataLine, std::move(problem), 6, WarningKind::OpenedCountOff});
}

} // namespace

std::string_view shortName(WarningKind kind) {
    static constexpr std::array<std::string_view, WarningKinds> Names = {
        "lines before row 0",  "no row number 0",     "rows that skip",       "rows that step back",
        "line feed in a line", "line feed in header", "field without number", "text after a number",
        "hex or octal number", "rounded number",      "opened count differs", "other cluster count",
        "subject seen before", "blank-ended subject"};
    return Names[static_cast<std::size_t>(kind)];
}

std::string counted(long long count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string Warning::message() const {
    std::string out = shownName(file) + ": ";
    if (dataLine > 0) {
        out += dataLinePlace(dataLine);
        if (field >= 0) out += ", field " + std::to_string(field);
        out += ": ";
    }
    return out + "warning: " + problem;
}

Warnings fileWarnings(const ClusterTables& tables, const std::string& path) {
    Warnings warnings;
    warnOfHeaders(tables, warnings);
    warnOfLinesOutsideClusters(tables, warnings);
    warnOfTrialCounts(tables, warnings);
    warnOfLineFeeds(tables, warnings);
    warnOfOddNumbers(tables, warnings);
    warnOfOpenedCounts(tables, warnings);
    for (Warning& warning : warnings)
        warning.file = path;
    std::stable_sort(warnings.begin(), warnings.end(), [](const Warning& a, const Warning& b) {
        return std::pair(a.dataLine, a.field) < std::pair(b.dataLine, b.field);
    });
    return warnings;
}

} // namespace dozorira
