#include "scale.h"

#include <array>
#include <charconv>
#include <cmath>

namespace dozorira::report {

std::vector<double> Scale::ticks() const {
    std::vector<double> ticks;
    const long long steps = std::llround((high - low) / step);
    for (long long i = 0; i <= steps; ++i)
        ticks.push_back(low + static_cast<double>(i) * step);
    return ticks;
}

std::string Scale::label(double value) const {
    const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
    std::array<char, 64> text{};
    const double shown = std::abs(value) < step / 2 ? 0.0 : value; // never "-0"
    const auto [end, error] = std::to_chars(text.data(), text.data() + text.size(), shown,
                                            std::chars_format::fixed, decimals);
    return error == std::errc() ? std::string(text.data(), end) : std::string();
}

Scale roundScale(double low, double high, int mostTicks) {
    if (high <= low) return roundScale(low, low + std::max(std::abs(low), 1.0), mostTicks);
    const double rough = (high - low) / mostTicks;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = 10 * power;
    for (const double factor : {1.0, 2.0, 5.0}) {
        if (factor * power >= rough * (1 - 1e-9)) {
            step = factor * power;
            break;
        }
    }
    return {std::floor(low / step + 1e-9) * step, std::ceil(high / step - 1e-9) * step, step};
}

} // namespace dozorira::report
