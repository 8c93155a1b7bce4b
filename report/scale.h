#pragma once

#include <string>
#include <vector>

namespace dozorira::report {

// An axis that runs from one round number to another, with a tick at every step between; steps
// are 1, 2 or 5 times a power of ten.
struct Scale {
    double low = 0;
    double high = 1;
    double step = 1;

    std::vector<double> ticks() const;
    // value as its tick shows it: as many decimals as the step needs, "2", "0.5", "0.25".
    std::string label(double value) const;
};

// The scale of at most mostTicks steps that covers low to high; a range of one value reaches up
// from it.
Scale roundScale(double low, double high, int mostTicks = 6);

} // namespace dozorira::report
