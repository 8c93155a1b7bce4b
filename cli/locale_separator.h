#pragma once

#include <string_view>

namespace dozorira::cli {

// The decimal separator ("." or ",") of a POSIX locale name such as "de_DE.UTF-8" or "en_GB".
char decimalSeparatorOf(std::string_view localeName);

} // namespace dozorira::cli
