#include "analysis.h"

#include "error.h"
#include "reader.h"
#include "scoring.h"

namespace dozorira {

ParticipantResult analyseTaskFile(const std::string& path, ClusterTables* tables,
                                  TrialNumbers trialNumbers) {
    try {
        ClusterTables read = readTaskFile(path);
        scoreClusters(read);
        ParticipantResult result = summarise(read, path, trialNumbers);
        if (tables) *tables = std::move(read);
        return result;
    } catch (RunError& e) {
        throw e.inFile(path);
    }
}

} // namespace dozorira
