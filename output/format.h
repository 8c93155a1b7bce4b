#pragma once

#include "result.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dozorira::output {

// Wide: one row per participant, with the columns of every cluster side by side. Long: one row
// per participant and cluster, as a within-subject model wants it. Trials: one row per
// participant, cluster and trial, as a mixed model of trial counts wants it.
enum class Layout { Wide, Long, Trials };

// The option that asks for a layout: "--long", "--trials"; empty for the default.
std::string_view optionOf(Layout layout);

enum class Format { Dat, Tsv, Sav, Dta, Csv, Xlsx };

// Where a format's decimal separator comes from when none is asked for.
enum class DefaultSeparator {
    Locale, // the user's, as the window has always written the .dat
    Point,  // "." whatever the locale, as programs read text
    None,   // the format holds numbers, not text
};

// Everything that differs between the formats, stated once.
struct FormatRules {
    Format format;
    std::string_view name;        // for --format, and the output name's extension
    std::string_view description; // "an SPSS file", for messages
    bool columnNameSwitch;        // whether the column-name line can be left out
    DefaultSeparator separator;
    bool utf8Subjects; // the format or its readers need its texts (subjects, labels) in UTF-8
    // Texts go into XML, which holds no control characters, and in which spreadsheets read
    // "_x0041_" as the character it codes, "A", but not all of them.
    bool xmlSubjects;
    bool timestamped;        // the file carries the time it was written
    bool columnsOfFirstFile; // the column names cover the first file's clusters, not the largest
    // A spreadsheet that opens the file runs a text that begins with =, +, - or @ as a formula.
    bool formulaText;
    // SPSS, PSPP and haven drop the blanks that end a text, so " a" and "a " can become "a".
    bool endBlanksDropped;
    std::vector<Layout> layouts; // the first is the default
};

const std::vector<FormatRules>& allFormats();

// The rows below the header that a file of the format can hold; 0 where there is no limit (an
// xlsx sheet holds 1048576 rows, the header among them).
std::size_t rowLimit(Format format);
const FormatRules& rulesOf(Format format);

// The format named on the command line, in any case; nothing for an unknown name.
std::optional<Format> formatNamed(std::string_view name);
// The format an output name asks for by its extension, in any case; the .dat for any other name.
Format formatOfOutput(std::string_view outputPath);
// Why the output's name would mislead, in words for the user; empty when it does not. An
// extension of a kind of file this program does not write (.xls), one of a format other than
// the one asked for, and .vty, which the next run over the folder would read as a task file.
std::string outputNameProblem(std::string_view outputPath, std::optional<Format> asked);

// What a user asked of a format beyond its name.
struct FormatOptions {
    Layout layout = Layout::Wide;
    bool noColumnNames = false;
    bool separatorGiven = false;
};

// Why the options do not go with the format, in words for the user; empty when they do.
std::string optionConflict(const FormatRules& rules, const FormatOptions& options);

// "tsv, sav or dta": the names of the formats for which holds is true, each after prefix.
std::string formatsWhere(const std::function<bool(const FormatRules&)>& holds,
                         std::string_view conjunction = "or", std::string_view prefix = "");

// Whether text is well-formed UTF-8: no stray or missing continuation bytes, no overlong forms,
// no surrogates, nothing past U+10FFFF.
bool isUtf8(std::string_view text);

// Whether text can go into XML as it is: no control characters, no U+FFFE or U+FFFF, and no
// "_xHHHH_", which spreadsheets read as the character it codes.
bool isPlainXmlText(std::string_view text);

// An Invalid argument error, naming the task file, when a text of its result cannot go into the
// format in that layout: its subject, and in rows per cluster the labels of its clusters.
void checkTexts(const FormatRules& rules, Layout layout, const ParticipantResult& result,
                const std::string& path);

} // namespace dozorira::output
