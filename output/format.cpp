#include "format.h"

#include "error.h"

#include <algorithm>

namespace dozorira::output {
namespace {

// The length of the UTF-8 sequence that starts at text[at], 0 when it is malformed.
std::size_t utf8SequenceLength(std::string_view text, std::size_t at) {
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80;  // the bounds of the second byte, which rule out overlong forms,
    unsigned char high = 0xBF; // surrogates and code points past U+10FFFF
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    }
    if (length == 0 || at + length > text.size()) return 0;
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (std::size_t i = at + 2; i < at + length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    return length;
}

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The extension of the last part of a path, in lower case; empty when it has none.
std::string extensionOf(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || path.find('/', dot) != std::string_view::npos) return {};
    std::string extension(path.substr(dot + 1));
    std::transform(extension.begin(), extension.end(), extension.begin(), lowerAscii);
    return extension;
}

// Kinds of file that this program does not write, and the format nearest to each: what a user
// who asks for one will most likely open the output with.
struct ForeignExtension {
    std::string_view extension;
    Format nearest;
};
constexpr ForeignExtension ForeignExtensions[] = {
    {"xls", Format::Xlsx},    {"xlsm", Format::Xlsx}, {"xlsb", Format::Xlsx},
    {"ods", Format::Xlsx},    {"fods", Format::Xlsx}, {"numbers", Format::Xlsx},
    {"zsav", Format::Sav},    {"por", Format::Sav},   {"sas7bdat", Format::Sav},
    {"xpt", Format::Sav},     {"rds", Format::Tsv},   {"rdata", Format::Tsv},
    {"rda", Format::Tsv},     {"json", Format::Tsv},  {"parquet", Format::Tsv},
    {"feather", Format::Tsv}, {"arrow", Format::Tsv}, {"pkl", Format::Tsv},
};

// A text as a message shows it: quoted, escaped where it must be, and cut after 40 bytes.
std::string shownText(std::string_view text) {
    constexpr std::size_t shown = 40;
    return shownName(text.substr(0, shown), true) + (text.size() > shown ? "..." : "");
}

bool beginsFormula(std::string_view text) {
    return !text.empty() && std::string_view("=+-@").find(text[0]) != std::string_view::npos;
}

bool holdsControlCharacter(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

// Why the format cannot hold a cluster's label; empty when it can. A label comes from the task
// file's content, so unlike a subject it cannot be mended by renaming the file.
std::string labelProblem(const FormatRules& rules, std::string_view label) {
    const std::string format(rules.description);
    if (holdsControlCharacter(label))
        return "holds a control character, such as a line feed, which would break its row";
    if (rules.utf8Subjects && !isUtf8(label))
        return "is not UTF-8 text, which " + format + " needs; save the task file as UTF-8";
    if (rules.xmlSubjects && !isPlainXmlText(label))
        return "holds a code such as _x0041_ that spreadsheets read as another character";
    if (rules.formulaText && beginsFormula(label))
        return std::string("begins with ") + label[0] +
               ", which a spreadsheet runs as a formula when it opens " + format +
               ": write an xlsx or a tsv instead";
    return {};
}

void checkLabels(const FormatRules& rules, const ParticipantResult& result,
                 const std::string& path) {
    for (std::size_t c = 0; c < result.labels.size(); ++c) {
        const ClusterLabel& label = result.labels[c];
        const std::string problem = labelProblem(rules, label.text);
        if (problem.empty()) continue;
        throw RunError(ErrorKind::InvalidArgument, "cluster " + std::to_string(c + 1) +
                                                       "'s label " + shownText(label.text) + " " +
                                                       problem)
            .atDataLine(label.dataLine)
            .atField(1)
            .inTaskFile(path);
    }
}

bool takes(const FormatRules& rules, Layout layout) {
    return std::find(rules.layouts.begin(), rules.layouts.end(), layout) != rules.layouts.end();
}

} // namespace

const std::vector<FormatRules>& allFormats() {
    using enum DefaultSeparator;
    using enum Layout;
    static const std::vector<Layout> every = {Wide, Long, Trials};
    // A csv follows the locale as the .dat does: it is opened by the user's spreadsheet, which
    // in a decimal-comma locale reads 6.650 as 6650. A tsv is for programs, which read points.
    // clang-format off
    static const std::vector<FormatRules> formats = {
        // format      name    description     names  separator utf8   xml    time   first  formula blanks layouts
        {Format::Dat,  "dat",  "a .dat file",  true,  Locale,   false, false, false, true,  false,  false, {Wide}},
        {Format::Tsv,  "tsv",  "a tsv file",   false, Point,    true,  false, false, false, false,  false, every},
        {Format::Sav,  "sav",  "an SPSS file", false, None,     true,  false, true,  false, false,  true,  every},
        {Format::Dta,  "dta",  "a Stata file", false, None,     true,  false, true,  false, false,  true,  every},
        {Format::Csv,  "csv",  "a csv file",   false, Locale,   true,  false, false, false, true,   false, every},
        {Format::Xlsx, "xlsx", "an xlsx file", false, None,     true,  true,  true,  false, false,  false, every},
    };
    // clang-format on
    return formats;
}

const FormatRules& rulesOf(Format format) {
    return allFormats()[static_cast<std::size_t>(format)];
}

std::size_t rowLimit(Format format) {
    return format == Format::Xlsx ? std::size_t{1048575} : 0;
}

std::optional<Format> formatNamed(std::string_view name) {
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(), lowerAscii);
    for (const FormatRules& rules : allFormats())
        if (rules.name == lower) return rules.format;
    return std::nullopt;
}

Format formatOfOutput(std::string_view outputPath) {
    return formatNamed(extensionOf(outputPath)).value_or(Format::Dat);
}

std::string outputNameProblem(std::string_view outputPath, std::optional<Format> asked) {
    const std::string extension = extensionOf(outputPath);
    if (extension == "vty")
        return "an output ending in .vty would be read as a task file by the next run over its "
               "folder: give it another extension, such as .dat";
    const std::string stem(outputPath.substr(0, outputPath.size() - extension.size()));
    for (const auto& [foreign, nearest] : ForeignExtensions) {
        if (extension != foreign) continue;
        const std::string_view name = rulesOf(nearest).name;
        return "this program does not write ." + extension + " files: write ." + std::string(name) +
               " instead (-o " + shownName(stem + std::string(name)) + ")";
    }
    const std::optional<Format> named = formatNamed(extension);
    if (!asked || !named || named == asked) return {};
    const std::string askedName(rulesOf(*asked).name);
    return "the output's extension ." + extension + " names " +
           std::string(rulesOf(*named).description) + ", but --format asks for " + askedName +
           ": give the output the extension ." + askedName + ", or leave --format out";
}

std::string_view optionOf(Layout layout) {
    switch (layout) {
    case Layout::Long: return "--long";
    case Layout::Trials: return "--trials";
    case Layout::Wide: break;
    }
    return {};
}

std::string formatsWhere(const std::function<bool(const FormatRules&)>& holds,
                         std::string_view conjunction, std::string_view prefix) {
    std::vector<std::string_view> names;
    for (const FormatRules& rules : allFormats())
        if (holds(rules)) names.push_back(rules.name);
    std::string list;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0 && i + 1 < names.size()) list += ", ";
        if (i > 0 && i + 1 == names.size()) {
            list += ' ';
            list += conjunction;
            list += ' ';
        }
        list += prefix;
        list += names[i];
    }
    return list;
}

std::string optionConflict(const FormatRules& rules, const FormatOptions& options) {
    // "--long does not go with a .dat file, which has one row per participant: leave it out
    // (it applies to tsv, sav and dta only)"
    const auto refuse = [&rules](std::string_view option, std::string_view which,
                                 const std::string& formats) {
        return std::string(option) + " does not go with " + std::string(rules.description) +
               ", which " + std::string(which) + ": leave it out (it applies to " + formats +
               " only)";
    };
    if (!takes(rules, options.layout))
        return refuse(
            optionOf(options.layout), "has one row per participant",
            formatsWhere([&options](const FormatRules& r) { return takes(r, options.layout); },
                         "and"));
    if (options.noColumnNames && !rules.columnNameSwitch)
        return refuse("--no-header", "always names its columns",
                      formatsWhere([](const FormatRules& r) { return r.columnNameSwitch; }, "and"));
    if (options.separatorGiven && rules.separator == DefaultSeparator::None)
        return refuse(
            "--decimal-separator", "holds numbers rather than text",
            formatsWhere([](const FormatRules& r) { return r.separator != DefaultSeparator::None; },
                         "and"));
    return {};
}

bool isUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = utf8SequenceLength(text, at);
        if (length == 0) return false;
        at += length;
    }
    return true;
}

bool isPlainXmlText(std::string_view text) {
    const auto isHex = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (static_cast<unsigned char>(text[i]) < 0x20) return false;
        // U+FFFE and U+FFFF, which XML does not hold
        if (text.substr(i, 2) == "\xEF\xBF" && i + 2 < text.size() &&
            (text[i + 2] == '\xBE' || text[i + 2] == '\xBF'))
            return false;
        if (text.substr(i, 2) == "_x" && i + 6 < text.size() && text[i + 6] == '_' &&
            std::all_of(text.begin() + static_cast<std::ptrdiff_t>(i) + 2,
                        text.begin() + static_cast<std::ptrdiff_t>(i) + 6, isHex))
            return false;
    }
    return true;
}

void checkTexts(const FormatRules& rules, Layout layout, const ParticipantResult& result,
                const std::string& path) {
    const std::string format(rules.description);
    const std::string_view subject = result.subject;
    if (rules.utf8Subjects && !isUtf8(subject))
        throw RunError(ErrorKind::InvalidArgument,
                       "the file name is not UTF-8 text, which " + format +
                           " needs for the subject; rename the task file")
            .inTaskFile(path);
    if (rules.xmlSubjects && !isPlainXmlText(subject))
        throw RunError(ErrorKind::InvalidArgument,
                       "the file name holds a control character or a code such as _x0041_ that "
                       "spreadsheets read as another character, so " +
                           format + " cannot hold it as the subject; rename the task file")
            .inTaskFile(path);
    if (rules.formulaText && beginsFormula(subject))
        throw RunError(ErrorKind::InvalidArgument,
                       "the subject " + shownText(subject) + " begins with " + subject[0] +
                           ", which a spreadsheet runs as a formula when it opens " + format +
                           ": write an xlsx or a tsv instead, or rename the task file")
            .inTaskFile(path);
    if (layout != Layout::Wide) checkLabels(rules, result, path);
}

} // namespace dozorira::output
