#pragma once

#include "format.h"
#include "line_reader.h"
#include "result.h"
#include "warnings.h"

#include <array>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace dozorira::output {

// Checks the task files of one run, in their order, for the output format they are meant for:
// each file is read once as the run reads it, refused where the run or the format would refuse
// it, and warned of where its numbers need a look. The warnings that compare files concern only
// the formats they name: the first file's cluster count matters where the column names cover it.
class RunCheck {
public:
    explicit RunCheck(Format format, Layout layout = Layout::Wide, std::string outputPath = {});

    // The warnings of the task file; fails with the RunError that would end the run. The file's
    // result, with the numbers of every trial, goes to result when it is given; a tap sees every
    // byte read.
    std::vector<Warning> check(const std::string& path, ParticipantResult* result = nullptr,
                               const ReadTap* tap = nullptr);

private:
    void compareClusterCount(const std::string& path, int clusterCount,
                             std::vector<Warning>& warnings);
    void compareSubject(const std::string& path, const std::string& subject,
                        std::vector<Warning>& warnings);
    void lookAtSubjectEnds(const std::string& path, const std::string& subject,
                           std::vector<Warning>& warnings) const;

    void countRows(const std::string& path, const ParticipantResult& result);

    const FormatRules& rules_;
    Layout layout_;
    std::string outputPath_;
    std::size_t rows_ = 0; // of the files that passed so far
    std::string firstFile_;
    int firstClusterCount_ = -1;
    std::map<std::string, std::string> fileOfSubject_;
};

struct CheckCounts {
    std::size_t checked = 0;
    std::size_t failed = 0;
    std::size_t warned = 0; // files that pass with warnings
    std::array<std::size_t, WarningKinds> filesWithKind{};
};

using LineSink = std::function<void(const std::string& line)>;

// Checks the task files in their order, giving every line --check prints of them to line as it
// goes: a failing file's error, a passing file's warnings. The results of the files that pass go
// to passed when it is given. With stopAtError, the first failing file ends the check with its
// RunError, as it ends a run that writes an output. taps, when given, holds one tap per file.
CheckCounts checkTaskFiles(RunCheck& run, const std::vector<std::string>& paths,
                           const LineSink& line, std::vector<ParticipantResult>* passed = nullptr,
                           bool stopAtError = false, std::span<const ReadTap> taps = {});

// The last lines --check prints: "12 files: rows that skip" for every kind of warning that some
// file has, then "3 files checked, 1 with errors, 2 with warnings", which says so when the
// format was the .dat for want of another.
std::vector<std::string> checkSummary(const CheckCounts& counts, bool datForWantOfFormat = false);

} // namespace dozorira::output
