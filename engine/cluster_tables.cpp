#include "cluster_tables.h"

#include <memory>

namespace dozorira {
namespace {

const Trial Unfilled;

// The memory of the tables that a thread read last, once they have gone.
thread_local std::unique_ptr<TrialMemory> spareTrialMemory;
thread_local std::vector<Cluster> spareClusters;

void checkTrialIndex(const Cluster& cluster, int t) {
    if (t < 1 || t > MaxTrials)
        throw RunError(ErrorKind::SubscriptOutOfRange,
                       "trial " + std::to_string(t) + " is beyond the " +
                           std::to_string(MaxTrials) +
                           " trials a cluster can hold (the row numbers skip too far)")
            .atDataLine(cluster.LastDataLine)
            .atField(0);
}

} // namespace

Trial& Cluster::growTo(int t) {
    checkTrialIndex(*this, t);
    // Reading stores the trials one after another. A copy of an empty trial is quicker than a new
    // Trial(), which clears the whole object before constructing its members.
    if (static_cast<std::size_t>(t) == trials.size() + 1) return trials.emplace_back(Unfilled);
    trials.resize(static_cast<std::size_t>(t));
    return trials[index(t)];
}

const Trial& Cluster::unfilledTrial(int t) const {
    checkTrialIndex(*this, t);
    return Unfilled;
}

int Cluster::lineOf(int t) const {
    const bool hasLine = t >= 1 && static_cast<std::size_t>(t) <= trials.size() &&
                         trials[static_cast<std::size_t>(t) - 1].DataLine > 0;
    return hasLine ? trials[static_cast<std::size_t>(t) - 1].DataLine : LastDataLine;
}

ClusterTables ClusterTables::forReading() {
    std::vector<Cluster> clusters = std::move(spareClusters);
    clusters.reserve(MaxClusters + 1);
    clusters.emplace_back();
    ClusterTables tables(std::move(clusters));
    tables.trialMemory = spareTrialMemory ? std::move(spareTrialMemory)
                                          : std::make_unique_for_overwrite<TrialMemory>();
    return tables;
}

ClusterTables::~ClusterTables() {
    clusters.clear(); // their trials are in trialMemory
    if (trialMemory && !spareTrialMemory) {
        trialMemory->resource.release();
        spareTrialMemory = std::move(trialMemory);
    }
    if (clusters.capacity() > MaxClusters && spareClusters.capacity() == 0)
        spareClusters = std::move(clusters);
}

ClusterTables& ClusterTables::operator=(ClusterTables&& other) noexcept {
    // Member by member, the memory that the clusters' trials are in would go before the clusters;
    // the destructor lets them go in the right order.
    if (this != &other) {
        std::destroy_at(this);
        std::construct_at(this, std::move(other));
    }
    return *this;
}

} // namespace dozorira
