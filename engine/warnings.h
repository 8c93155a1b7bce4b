#pragma once

#include "cluster_tables.h"

#include <string>
#include <string_view>
#include <vector>

namespace dozorira {

// The kinds of warning, in the order --help lists them. The first ten concern one task file; the
// others compare it with the run's other files or with the output format.
enum class WarningKind {
    LinesBeforeRowZero,
    NoRowZero,
    RowsThatSkip,
    RowsThatStepBack,
    LineFeedInLine,
    LineFeedInHeader,
    FieldWithoutNumber,
    TextAfterNumber,
    HexOrOctalNumber,
    RoundedNumber,
    OpenedCountOff,
    OtherClusterCount,
    SubjectSeenBefore,
    BlanksAroundSubject,
};
inline constexpr int WarningKinds = 14;

// "rows that skip": the kind's short name, as --help lists it and --check counts it.
std::string_view shortName(WarningKind kind);

// A shape of a legal task file that changes its numbers without any error. Warnings change no
// output; they tell a researcher where to look before the numbers are published.
struct Warning {
    std::string file;
    int dataLine = 0; // 0 when the warning concerns the whole file
    std::string problem;
    int field = -1; // -1 when the warning concerns the whole line
    WarningKind kind = WarningKind::LinesBeforeRowZero;

    // "FILE: data line N (file line N+2), field F: warning: PROBLEM", always on one line.
    std::string message() const;
};

// The warnings of one read task file, in the order of its lines.
std::vector<Warning> fileWarnings(const ClusterTables& tables, const std::string& path);

// "1 cluster", "3 clusters".
std::string counted(long long count, const char* one, const char* many);

} // namespace dozorira
