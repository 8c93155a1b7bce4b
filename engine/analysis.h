#pragma once

#include "cluster_tables.h"
#include "line_reader.h"
#include "result.h"

#include <optional>
#include <string>

namespace dozorira {

// The whole analysis of one task file: read, scored and summarised. Errors name the file. When
// tables is given, the read and scored tables are moved into it; a tap sees every byte read.
ParticipantResult analyseTaskFile(const std::string& path, ClusterTables* tables = nullptr,
                                  Detail detail = Detail::Record, const ReadTap* tap = nullptr);
// As analyseTaskFile, for a run that reads task files on several threads: with
// Opening::RegularFileOnly, nothing for a file that is not a regular file, which only the run's
// own thread may read.
std::optional<ParticipantResult> analyseTaskFile(const std::string& path, Opening opening,
                                                 Detail detail = Detail::Record,
                                                 const ReadTap* tap = nullptr);

} // namespace dozorira
