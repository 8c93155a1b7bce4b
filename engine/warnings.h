#pragma once

#include "tables.h"

#include <map>
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

// Checks the task files of one run in their order, each read once as the run reads it, and adds
// the warnings that only show across files. The first file without error stands for the run's
// first file, whose clusters the column names cover.
class RunCheck {
public:
    // Fails with the RunError that would end the run.
    std::vector<Warning> check(const std::string& path);

private:
    void compareClusterCount(const std::string& path, int clusterCount,
                             std::vector<Warning>& warnings);
    void compareSubject(const std::string& path, const std::string& subject,
                        std::vector<Warning>& warnings);

    std::string firstFile_;
    int firstClusterCount_ = -1;
    std::map<std::string, std::string> fileOfSubject_;
};

} // namespace dozorira
