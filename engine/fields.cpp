#include "fields.h"

namespace dozorira {

LineFields::LineFields(std::string_view line) : line_(line) {
    // An empty line has no fields at all, not one empty field.
    if (line.empty()) return;
    std::size_t start = 0;
    for (std::size_t at = 0; at < line.size(); ++at) {
        if (line[at] == '\n') holdsLineFeed_ = true;
        if (line[at] != '\t' || count_ == FieldsOfInterest) continue;
        fields_[static_cast<std::size_t>(count_++)] = line.substr(start, at - start);
        start = at + 1;
    }
    if (count_ < FieldsOfInterest) fields_[static_cast<std::size_t>(count_++)] = line.substr(start);
}

bool avx2Usable() {
#if defined(DOZORIRA_AVX2)
    // GCC's and clang's test of AVX2 asks the system too whether it keeps the AVX registers.
    static const bool usable = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
                               __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
    return usable;
#else
    return false;
#endif
}

} // namespace dozorira
