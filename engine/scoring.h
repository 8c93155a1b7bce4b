#pragma once

#include "cluster_tables.h"

namespace dozorira {

// The scoring stage: BetweenErrors of every cluster and WithinErrors of every trial.
//
// A between-search error is a box opened in trial r that held the target in an earlier trial k
// of the same cluster; it counts once for every such earlier trial. Within-search errors are
// read from the revisit list: a single character counts 1, a longer list its blanks.
void scoreClusters(ClusterTables& tables);

} // namespace dozorira
