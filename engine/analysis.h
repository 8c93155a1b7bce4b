#pragma once

#include "cluster_tables.h"
#include "result.h"

#include <string>

namespace dozorira {

// The whole analysis of one task file: read, scored and summarised. Errors name the file. When
// tables is given, the read and scored tables are moved into it.
ParticipantResult analyseTaskFile(const std::string& path, ClusterTables* tables = nullptr,
                                  TrialNumbers trialNumbers = TrialNumbers::Dropped);

} // namespace dozorira
