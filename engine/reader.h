#pragma once

#include "cluster_tables.h"
#include "line_reader.h"

#include <optional>
#include <string>

namespace dozorira {

// The read stage: the task file at path, read into fresh cluster tables. Two header lines are
// skipped; every further line is a trial, and a row number (field 0) of zero starts a cluster.
// Errors carry the data line and field, not the file. Tests choose the sizes of the reads; a tap
// sees every byte read.
ClusterTables readTaskFile(const std::string& path, ReadSizes sizes = {},
                           const ReadTap* tap = nullptr);
// As readTaskFile, for a reader on a thread of its own: with Opening::RegularFileOnly, nothing
// for a file that is not a regular file, which it must leave to the run's own thread.
std::optional<ClusterTables> readTaskFile(const std::string& path, Opening opening,
                                          const ReadTap* tap = nullptr);

} // namespace dozorira
