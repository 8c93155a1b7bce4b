#include "check.h"

#include "analysis.h"
#include "result_table.h"
#include "task_file_guard.h"

#include <array>

namespace dozorira::output {

RunCheck::RunCheck(Format format, Layout layout, std::string outputPath)
    : rules_(rulesOf(format)), layout_(layout), outputPath_(std::move(outputPath)) {}

std::vector<Warning> RunCheck::check(const std::string& path, ParticipantResult* result,
                                     const ReadTap* tap) {
    if (!outputPath_.empty()) refuseTaskFileAsOutput(outputPath_, {path});
    ClusterTables tables;
    const Detail detail = result                    ? Detail::Trials
                          : layout_ == Layout::Wide ? Detail::Record
                                                    : Detail::Clusters;
    ParticipantResult read = analyseTaskFile(path, &tables, detail, tap);
    checkTexts(rules_, layout_, read, path);
    countRows(path, read);
    std::vector<Warning> warnings = fileWarnings(tables, path);
    compareClusterCount(path, read.clusterCount(), warnings);
    compareSubject(path, read.subject, warnings);
    lookAtSubjectEnds(path, read.subject, warnings);
    if (result) *result = std::move(read);
    return warnings;
}

// The file whose rows would not fit in the format's file fails, as the run would fail.
void RunCheck::countRows(const std::string& path, const ParticipantResult& result) {
    const std::size_t rows = rows_ + ResultTable::rowsOf(result, layout_);
    const std::size_t limit = rowLimit(rules_.format);
    if (limit != 0 && rows > limit)
        throw RunError(ErrorKind::FileError, "with this file the output would hold " +
                                                 std::to_string(rows) + " rows, more than the " +
                                                 std::to_string(limit) + " " +
                                                 std::string(rules_.description) +
                                                 " holds below its header; choose csv or tsv")
            .inFile(path);
    rows_ = rows;
}

void RunCheck::compareClusterCount(const std::string& path, int clusterCount,
                                   std::vector<Warning>& warnings) {
    if (firstClusterCount_ < 0) {
        firstFile_ = path;
        firstClusterCount_ = clusterCount;
        return;
    }
    if (clusterCount == firstClusterCount_ || !rules_.columnsOfFirstFile) return;
    std::string problem = "the file holds " + counted(clusterCount, "cluster", "clusters") +
                          " but the run's first file without errors, " +
                          shownName(firstFile_, true) + ", holds " +
                          std::to_string(firstClusterCount_) + ": in " +
                          std::string(rules_.description) + " its record has ";
    problem += clusterCount > firstClusterCount_ ? "more" : "fewer";
    problem += " columns than the column names, which cover " +
               counted(firstClusterCount_, "cluster", "clusters");
    warnings.push_back({path, 0, std::move(problem), -1, WarningKind::OtherClusterCount});
}

void RunCheck::compareSubject(const std::string& path, const std::string& subject,
                              std::vector<Warning>& warnings) {
    const auto [earlier, isNew] = fileOfSubject_.try_emplace(subject, path);
    if (isNew) return;
    std::string problem = "its subject " + shownName(subject, true) + " is also the subject of " +
                          shownName(earlier->second, true) +
                          ": the output holds two records under one name, one participant "
                          "counted twice or two participants mixed up";
    warnings.push_back({path, 0, std::move(problem), -1, WarningKind::SubjectSeenBefore});
}

void RunCheck::lookAtSubjectEnds(const std::string& path, const std::string& subject,
                                 std::vector<Warning>& warnings) const {
    if (!rules_.endBlanksDropped || subject.empty() ||
        (subject.front() != ' ' && subject.back() != ' '))
        return;
    std::string problem =
        "its subject " + shownName(subject, true) + (subject.front() == ' ' ? " begins" : " ends") +
        " with a blank: SPSS, PSPP and haven drop the blanks that end a text, "
        "and some readers those that begin it, so in " +
        std::string(rules_.description) + " two subjects can become one; rename the task file";
    warnings.push_back({path, 0, std::move(problem), -1, WarningKind::BlanksAroundSubject});
}

// Warnings never fail the check: the numbers they point at are legal, only worth a look.
CheckCounts checkTaskFiles(RunCheck& run, const std::vector<std::string>& paths,
                           const LineSink& line, std::vector<ParticipantResult>* passed,
                           bool stopAtError, std::span<const ReadTap> taps) {
    CheckCounts counts;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const std::string& path = paths[i];
        ++counts.checked;
        try {
            ParticipantResult result;
            const std::vector<Warning> warnings =
                run.check(path, passed ? &result : nullptr, taps.empty() ? nullptr : &taps[i]);
            std::array<bool, WarningKinds> has{};
            for (const Warning& warning : warnings) {
                line(warning.message());
                has[static_cast<std::size_t>(warning.kind)] = true;
            }
            for (std::size_t kind = 0; kind < has.size(); ++kind)
                counts.filesWithKind[kind] += has[kind] ? 1 : 0;
            if (!warnings.empty()) ++counts.warned;
            if (passed) passed->push_back(std::move(result));
        } catch (const RunError& e) {
            if (stopAtError) throw;
            line(e.what());
            ++counts.failed;
        }
    }
    return counts;
}

std::vector<std::string> checkSummary(const CheckCounts& counts, bool datForWantOfFormat) {
    std::vector<std::string> lines;
    for (std::size_t kind = 0; kind < counts.filesWithKind.size(); ++kind)
        if (const std::size_t files = counts.filesWithKind[kind]; files > 0)
            lines.push_back(counted(static_cast<long long>(files), "file", "files") + ": " +
                            std::string(shortName(static_cast<WarningKind>(kind))));
    lines.push_back(counted(static_cast<long long>(counts.checked), "file", "files") + " checked" +
                    (datForWantOfFormat ? " for the .dat (--format names another format)" : "") +
                    ", " + std::to_string(counts.failed) + " with errors, " +
                    std::to_string(counts.warned) + " with warnings");
    return lines;
}

} // namespace dozorira::output
