#include "analysis.h"

#include "error.h"
#include "reader.h"
#include "scoring.h"

namespace dozorira {
namespace {

ParticipantResult scoreAndSummarise(ClusterTables& read, const std::string& path, Detail detail) {
    scoreClusters(read);
    return summarise(read, path, detail);
}

} // namespace

ParticipantResult analyseTaskFile(const std::string& path, ClusterTables* tables, Detail detail,
                                  const ReadTap* tap) {
    try {
        ClusterTables read = readTaskFile(path, ReadSizes{}, tap);
        ParticipantResult result = scoreAndSummarise(read, path, detail);
        if (tables) *tables = std::move(read);
        return result;
    } catch (RunError& e) {
        throw e.inTaskFile(path);
    }
}

std::optional<ParticipantResult> analyseTaskFile(const std::string& path, Opening opening,
                                                 Detail detail, const ReadTap* tap) {
    try {
        std::optional<ClusterTables> read = readTaskFile(path, opening, tap);
        if (!read) return std::nullopt;
        return scoreAndSummarise(*read, path, detail);
    } catch (RunError& e) {
        throw e.inTaskFile(path);
    }
}

} // namespace dozorira
