#include "locale_separator.h"

#include <algorithm>
#include <array>

namespace dozorira::cli {
namespace {

// Languages that write a decimal comma, and the territories that differ from their language.
// Taken from the Unicode CLDR data that the window's toolkit uses, so that the window and the
// batch command agree.
constexpr std::array<std::string_view, 100> CommaLanguages = {
    "af",  "agq", "ast", "az",  "bas", "be",  "bg",  "br",  "bs",  "ca",  "cs", "da",  "de",
    "dsb", "dua", "dyo", "el",  "eo",  "es",  "et",  "eu",  "ewo", "ff",  "fi", "fo",  "fr",
    "fur", "fy",  "gl",  "hr",  "hsb", "hu",  "hy",  "ia",  "id",  "is",  "it", "jgo", "jv",
    "ka",  "kab", "kea", "kgp", "kk",  "kkj", "kl",  "km",  "ksf", "ksh", "ku", "ky",  "lb",
    "ln",  "lo",  "lt",  "lu",  "lv",  "mgh", "mk",  "mua", "nb",  "nds", "nl", "nmg", "nn",
    "nnh", "no",  "os",  "pl",  "pt",  "rn",  "ro",  "ru",  "rw",  "sah", "sc", "se",  "seh",
    "sg",  "shi", "sk",  "sl",  "smn", "sq",  "sr",  "su",  "sv",  "tg",  "tk", "tr",  "tt",
    "tzm", "uk",  "uz",  "vi",  "wae", "wo",  "yav", "yrl", "zgh"};

constexpr std::array<std::string_view, 19> PointTerritories = {
    "az_IR", "de_CH", "de_LI", "es_419", "es_BR", "es_BZ", "es_CU", "es_DO", "es_GT", "es_HN",
    "es_MX", "es_NI", "es_PA", "es_PE",  "es_PR", "es_SV", "es_US", "it_CH", "uz_AF"};

constexpr std::array<std::string_view, 17> CommaTerritories = {
    "ar_DZ", "ar_LY", "ar_MA", "ar_TN", "en_AT", "en_BE", "en_DE", "en_DK", "en_FI",
    "en_NL", "en_SE", "en_SI", "en_ZA", "ms_BN", "ms_ID", "qu_BO", "sw_CD"};

template <std::size_t N>
bool contains(const std::array<std::string_view, N>& list, std::string_view item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

} // namespace

char decimalSeparatorOf(std::string_view localeName) {
    // "de_DE.UTF-8@euro" -> "de_DE"
    const std::string_view name = localeName.substr(0, localeName.find_first_of(".@"));
    if (contains(CommaTerritories, name)) return ',';
    if (contains(PointTerritories, name)) return '.';
    return contains(CommaLanguages, name.substr(0, name.find('_'))) ? ',' : '.';
}

} // namespace dozorira::cli
