#pragma once

#include "format.h"
#include "line_reader.h"
#include "warnings.h"

#include <map>
#include <string>
#include <vector>

namespace dozorira::output {

// Checks the task files of one run, in their order, for the output format they are meant for:
// each file is read once as the run reads it, refused where the run or the format would refuse
// it, and warned of where its numbers need a look. The warnings that compare files concern only
// the formats they name: the first file's cluster count matters where the column names cover it.
class RunCheck {
public:
    explicit RunCheck(Format format, std::string outputPath = {});

    // The warnings of the task file; fails with the RunError that would end the run. A tap sees
    // every byte read.
    std::vector<Warning> check(const std::string& path, const ReadTap* tap = nullptr);

private:
    void compareClusterCount(const std::string& path, int clusterCount,
                             std::vector<Warning>& warnings);
    void compareSubject(const std::string& path, const std::string& subject,
                        std::vector<Warning>& warnings);

    const FormatRules& rules_;
    std::string outputPath_;
    std::string firstFile_;
    int firstClusterCount_ = -1;
    std::map<std::string, std::string> fileOfSubject_;
};

} // namespace dozorira::output
