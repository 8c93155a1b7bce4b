#pragma once

#include "cluster_tables.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace dozorira {

// A between-search error is a box opened in trial r that held the target in an earlier trial k
// of the same cluster; it counts once for every such earlier trial. Reading applies this rule
// line by line: one EarlierFinds per cluster, given its trials in order.
class EarlierFinds {
public:
    // The finds of the trials so far that the boxes opened hit; then found (field 4, blanks
    // trimmed) counts as a find for the trials after.
    long long hitsThenAdd(std::string_view opened, std::string_view found) {
        // Two boxes a turn, with a test between them: a field is a few boxes long, and a loop the
        // compiler cannot turn into vector code spares every field that code's set-up.
        long long hits = 0;
        const char* box = opened.data();
        const char* const end = box + opened.size();
        while (box != end) {
            hits += finds_[static_cast<unsigned char>(*box++)];
            if (box == end) break;
            hits += finds_[static_cast<unsigned char>(*box++)];
        }
        // A found box of any other length never equals a single opened box.
        if (found.size() == 1) ++finds_[static_cast<unsigned char>(found[0])];
        return hits;
    }

private:
    // How many trials so far found the target in each one-character box.
    static_assert(MaxDataLines <= 255, "a cluster's finds of one box fit a byte");
    std::array<std::uint8_t, 256> finds_{};
};

// Within-search errors are read from the revisit list (field 9): a single character counts 1, a
// longer list its blanks.
inline int revisitCount(std::string_view revisits) {
    if (revisits.size() <= 1) return static_cast<int>(revisits.size());
    int blanks = 0; // a line is at most 16 MiB
    const char* c = revisits.data();
    const char* const end = c + revisits.size();
    do // as in hitsThenAdd, a loop left as it is
        blanks += *c == ' ';
    while (++c != end);
    return blanks;
}

// The scoring stage: BetweenErrors of every cluster, from the counts that reading took, which it
// checks against the 16-bit counters for the trials that count.
void scoreClusters(ClusterTables& tables);

} // namespace dozorira
