#pragma once

#include "cluster_tables.h"

#include <string>
#include <vector>

namespace dozorira {

// A shape of a legal task file that changes its numbers without any error. Warnings change no
// output; they tell a researcher where to look before the numbers are published.
struct Warning {
    std::string file;
    int dataLine = 0; // 0 when the warning concerns the whole file
    std::string problem;
    int field = -1; // -1 when the warning concerns the whole line

    // "FILE: data line N (file line N+2), field F: warning: PROBLEM", always on one line.
    std::string message() const;
};

// The warnings of one read task file, in the order of its lines.
std::vector<Warning> fileWarnings(const ClusterTables& tables, const std::string& path);

// "1 cluster", "3 clusters".
std::string counted(long long count, const char* one, const char* many);

} // namespace dozorira
