#include "analysis.h"

#include "error.h"
#include "reader.h"
#include "scoring.h"

namespace dozorira {
namespace {

ParticipantResult scoreAndSummarise(ClusterTables& read, const std::string& path,
                                    TrialNumbers trialNumbers) {
    scoreClusters(read);
    return summarise(read, path, trialNumbers);
}

} // namespace

ParticipantResult analyseTaskFile(const std::string& path, ClusterTables* tables,
                                  TrialNumbers trialNumbers, const ReadTap* tap) {
    try {
        ClusterTables read = readTaskFile(path, ReadSizes{}, tap);
        ParticipantResult result = scoreAndSummarise(read, path, trialNumbers);
        if (tables) *tables = std::move(read);
        return result;
    } catch (RunError& e) {
        throw e.inFile(path);
    }
}

std::optional<ParticipantResult> analyseTaskFile(const std::string& path, Opening opening,
                                                 TrialNumbers trialNumbers, const ReadTap* tap) {
    try {
        std::optional<ClusterTables> read = readTaskFile(path, opening, tap);
        if (!read) return std::nullopt;
        return scoreAndSummarise(*read, path, trialNumbers);
    } catch (RunError& e) {
        throw e.inFile(path);
    }
}

} // namespace dozorira
