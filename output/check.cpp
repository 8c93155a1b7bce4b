#include "check.h"

#include "analysis.h"
#include "task_file_guard.h"

namespace dozorira::output {

RunCheck::RunCheck(Format format, std::string outputPath)
    : rules_(rulesOf(format)), outputPath_(std::move(outputPath)) {}

std::vector<Warning> RunCheck::check(const std::string& path, const ReadTap* tap) {
    if (!outputPath_.empty()) refuseTaskFileAsOutput(outputPath_, {path});
    ClusterTables tables;
    const ParticipantResult result = analyseTaskFile(path, &tables, TrialNumbers::Dropped, tap);
    checkSubject(rules_, result.subject, path);
    std::vector<Warning> warnings = fileWarnings(tables, path);
    compareClusterCount(path, result.clusterCount(), warnings);
    compareSubject(path, result.subject, warnings);
    return warnings;
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
    warnings.push_back({path, 0, std::move(problem)});
}

void RunCheck::compareSubject(const std::string& path, const std::string& subject,
                              std::vector<Warning>& warnings) {
    const auto [earlier, isNew] = fileOfSubject_.try_emplace(subject, path);
    if (isNew) return;
    std::string problem = "its subject " + shownName(subject, true) + " is also the subject of " +
                          shownName(earlier->second, true) +
                          ": the output holds two records under one name, one participant "
                          "counted twice or two participants mixed up";
    warnings.push_back({path, 0, std::move(problem)});
}

} // namespace dozorira::output
