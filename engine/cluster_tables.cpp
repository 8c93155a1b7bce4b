#include "cluster_tables.h"

namespace dozorira {
namespace {

void checkTrialIndex(int t) {
    if (t < 1 || t > MaxTrials)
        throw RunError(ErrorKind::SubscriptOutOfRange,
                       "trial " + std::to_string(t) + " is beyond the " +
                           std::to_string(MaxTrials) +
                           " trials a cluster can hold (the row numbers skip too far)");
}

} // namespace

Trial& Cluster::trial(int t) {
    checkTrialIndex(t);
    if (static_cast<std::size_t>(t) > trials.size()) trials.resize(static_cast<std::size_t>(t));
    return trials[static_cast<std::size_t>(t) - 1];
}

const Trial& Cluster::trial(int t) const {
    static const Trial unfilled;
    checkTrialIndex(t);
    if (static_cast<std::size_t>(t) > trials.size()) return unfilled;
    return trials[static_cast<std::size_t>(t) - 1];
}

} // namespace dozorira
