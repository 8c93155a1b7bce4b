#include "check.h"

#include "analysis.h"
#include "result_table.h"
#include "task_file_guard.h"

namespace dozorira::output {

RunCheck::RunCheck(Format format, Layout layout, std::string outputPath)
    : rules_(rulesOf(format)), layout_(layout), outputPath_(std::move(outputPath)) {}

std::vector<Warning> RunCheck::check(const std::string& path) {
    if (!outputPath_.empty()) refuseTaskFileAsOutput(outputPath_, {path});
    ClusterTables tables;
    const ParticipantResult result =
        analyseTaskFile(path, &tables, layout_ == Layout::Wide ? Detail::Record : Detail::Clusters);
    checkTexts(rules_, layout_, result, path);
    countRows(path, result);
    std::vector<Warning> warnings = fileWarnings(tables, path);
    compareClusterCount(path, result.clusterCount(), warnings);
    compareSubject(path, result.subject, warnings);
    lookAtSubjectEnds(path, result.subject, warnings);
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

} // namespace dozorira::output
