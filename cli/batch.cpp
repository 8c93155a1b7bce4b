#include "batch.h"

#include "check.h"
#include "error.h"
#include "locale_separator.h"
#include "report_file.h"
#include "request.h"
#include "verify.h"
#include "warnings.h"
#include "whole_run.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <charconv>
#include <stdexcept>

namespace dozorira::cli {
namespace {

using output::Format;
using output::FormatRules;

constexpr const char* Name = "dozorira-batch";
constexpr long long LatestTimestamp = 253402300799; // 9999-12-31 23:59:59 UTC

struct Arguments {
    std::string output;
    std::string report;
    bool noHeader = false;
    std::string separator;
    bool check = false;
    std::vector<std::string> taskFiles; // as given, folders among them
    std::string format;
    bool longLayout = false;
    bool trialLayout = false;
    bool inPlace = false;
    std::string manifest;
    std::string verify;
    // What the options ask for, once they are known to go together.
    output::OutputRequest request;
    std::optional<output::ReportRequest> reportRequest;
    study::TaskFiles files; // with the task files of every folder in its place
};

// A command line that cannot be run, in a sentence that says what to do.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

int usageError(std::ostream& err, const std::string& message) {
    err << Name << ": " << message << "\nRun with --help for more information.\n";
    return ExitUsage;
}

int runError(std::ostream& err, const RunError& error) {
    err << Name << ": " << error.what() << '\n';
    return error.outputChanged() ? ExitOutputChanged : ExitRunError;
}

// CLI11's help in the shape man readers and help2man expect: "-o, --output OUTPUT", every form
// of the command in the usage lines, then folders, warnings and exit statuses where CLI11 would
// list the positional arguments (help2man makes them part of the description), then the options,
// and the environment in the footer (help2man makes it the ENVIRONMENT section).
class HelpFormatter : public CLI::Formatter {
public:
    std::string make_option_name(const CLI::Option* option, bool positional) const override {
        std::string spaced;
        for (const char c : CLI::Formatter::make_option_name(option, positional))
            spaced += c == ',' ? std::string_view(", ") : std::string_view(&c, 1);
        return spaced;
    }
    std::string make_usage(const CLI::App* /*app*/, std::string name) const override {
        return "Usage: " + name + " [OPTIONS] -o OUTPUT [--report REPORT] TASKFILE...\n" + //
               "   or: " + name + " [OPTIONS] --check [--report REPORT] TASKFILE...\n" +   //
               "   or: " + name + " --verify MANIFEST|OUTPUT\n" +                          //
               "   or: " + name + " --help | --version\n";
    }
    std::string make_positionals(const CLI::App* /*app*/) const override {
        return R"(
A TASKFILE may be a folder: it stands for the task files in it, those whose
names end in .vty in any case and do not begin with a dot, in the byte order
of their names. Subfolders are not searched.

--check warns of task files that pass but whose numbers need a look:
  lines before row 0    data lines before the first row number 0 belong to no
                        cluster and count nowhere
  no row number 0       the file holds no cluster: its record holds the
                        subject and 0 only
  rows that skip        the trials without a line count as trials that opened
                        no box, which lowers the cluster's means
  rows that step back   the cluster's last lines are left out of its numbers
  line feed in a line   a line feed without a carriage return ends no line:
                        all of it is one data line, one trial
  line feed in header   the first data line may be skipped with the headers
  field without number  a numeric field (0, 2, 3 or 6) with no number reads
                        as 0; in field 0 it starts a cluster
  text after a number   reading stops there: "6x" reads as 6
  hex or octal number   "&HF" reads as 15, "&O17" as 15
  rounded number        a number that is not whole is rounded: "2.5" reads as
                        2, "3.5" as 4
  opened count differs  field 6, the count of boxes opened, differs from the
                        boxes that field 7 lists: the Open column averages
                        field 6, while the between-search errors (B_err)
                        come from the boxes of field 7
  other cluster count   in a .dat, a file with more or fewer clusters than
                        the run's first file has more or fewer columns than
                        the column names
  subject seen before   two records under one name
  blank-ended subject   in sav and dta, a subject that begins or ends with a
                        blank: SPSS and haven drop the blanks that end a
                        text, so two subjects can become one
After the lines, --check counts the files of each kind of warning, then the
files checked. Warnings alone do not make the exit status non-zero.

A sav or dta carries its provenance in its notes (SPSS documents, Stata notes),
an xlsx in a second sheet, "Provenance": the program and its version, the time,
the options that shape the file, and every task file with its size and
SHA-256. The dat, tsv and csv stay as they are; --manifest records any run.

Exit status:
  0   success; with --check, no task file failed, whatever the warnings; with
      --verify, the file matches its task files
  1   a task file, a folder, the output or the report failed; the message says
      which, and every earlier output is as it was (a task file that fails
      --check is listed in its report); with --verify, a line names each task
      file or output that does not match
  2   the command line was wrong; the message says what to do
  3   the output holds the new study (written --in-place, perhaps part of it),
      but what came after could not be done or confirmed; the message says what
)";
    }
};

// The locale that decides numbers, as the window's toolkit finds it.
std::string numericLocale(const Environment& environment) {
    for (const char* variable : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
        std::string value = environment(variable);
        if (!value.empty()) return value;
    }
    return "C";
}

bool anyFormat(const FormatRules& /*rules*/) {
    return true;
}

// What a value option takes, as a usage error says it when the value is missing or wrong.
std::string whatItTakes(const std::string& option) {
    if (option == "--output")
        return "-o takes the output file: -o FILE, or -o - for standard output";
    if (option == "--format") return "--format takes " + output::formatsWhere(anyFormat);
    if (option == "--decimal-separator") return "--decimal-separator takes . or ,";
    if (option == "--report")
        return "--report takes the report file, a name ending in .pdf, or - for standard output";
    return option + " needs a value";
}

output::Layout layoutOf(const Arguments& args) {
    if (args.longLayout && args.trialLayout)
        throw UsageError("--long and --trials ask for two layouts; give one of them");
    if (args.trialLayout) return output::Layout::Trials;
    return args.longLayout ? output::Layout::Long : output::Layout::Wide;
}

// --check without --format or -o checks for the .dat, which has no rows per cluster: what is
// missing is the format, not the layout.
void refuseLayoutWithoutFormat(const Arguments& args) {
    const output::Layout layout = layoutOf(args);
    if (!args.check || !args.format.empty() || !args.output.empty() ||
        layout == output::Layout::Wide)
        return;
    throw UsageError("--check " + std::string(output::optionOf(layout)) + " checks for a file of " +
                     (layout == output::Layout::Long ? "rows per cluster" : "rows per trial") +
                     ", but without --format it checks for the .dat: add --format " +
                     output::formatsWhere([layout](const FormatRules& rules) {
                         return std::find(rules.layouts.begin(), rules.layouts.end(), layout) !=
                                rules.layouts.end();
                     }));
}

// The format asked for, and whether the other options go with it; a usage error otherwise.
Format chooseFormat(const Arguments& args) {
    refuseLayoutWithoutFormat(args);
    const Format format = args.format.empty() ? output::formatOfOutput(args.output)
                                              : *output::formatNamed(args.format);
    const std::string conflict = output::optionConflict(
        output::rulesOf(format), {layoutOf(args), args.noHeader, !args.separator.empty()});
    if (!conflict.empty()) throw UsageError(conflict);
    return format;
}

// SOURCE_DATE_EPOCH, when set: whole seconds since 1970 up to the end of the year 9999, the
// latest time the packages' date fields can show.
std::optional<std::time_t> sourceDate(const std::string& value) {
    if (value.empty()) return std::nullopt;
    long long seconds = -1;
    const char* end = value.data() + value.size();
    const auto [stop, error] = std::from_chars(value.data(), end, seconds);
    if (value[0] == '-' || error != std::errc() || stop != end || seconds > LatestTimestamp)
        throw UsageError("SOURCE_DATE_EPOCH must be a whole number of seconds since 1970 up to " +
                         std::to_string(LatestTimestamp) + " (the end of the year 9999), not " +
                         dozorira::shownName(value, true) + "; set it to one, or unset it");
    return static_cast<std::time_t>(seconds);
}

// A report goes to a PDF file, or to standard output or a descriptor: a name with another
// extension is more likely an output file given to the wrong option than a report.
bool reportName(std::string_view path) {
    std::string extension(path.substr(path.size() - std::min<std::size_t>(path.size(), 4)));
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".pdf" || path == "-" || path.starts_with("/dev/") ||
           path.starts_with("/proc/self/fd/");
}

void validateReport(const Arguments& args) {
    if (!reportName(args.report)) throw UsageError(whatItTakes("--report"));
    if (args.check && args.report == "-")
        throw UsageError("--check prints its lines to standard output, so its report cannot go "
                         "there: give --report a file");
}

// The report shows when the run was, as SOURCE_DATE_EPOCH gives it, so that two runs of one
// study give the same bytes.
output::ReportRequest reportRequest(const std::vector<std::string>& commandLine,
                                    const Arguments& args, const Environment& environment) {
    const std::optional<std::time_t> time = sourceDate(environment("SOURCE_DATE_EPOCH"));
    return report::reportRequest(args.report, {commandLine, time ? *time : std::time(nullptr)});
}

output::OutputRequest request(const Arguments& args, const Environment& environment) {
    output::OutputRequest request;
    request.format = chooseFormat(args);
    const FormatRules& rules = output::rulesOf(request.format);
    request.layout = layoutOf(args);
    request.path = args.output;
    request.withColumnNames = !args.noHeader;
    request.inPlace = args.inPlace;
    request.datForWantOfFormat = args.format.empty() && args.output.empty();
    if (!args.separator.empty())
        request.decimalSeparator = args.separator[0];
    else if (rules.separator == output::DefaultSeparator::Locale)
        request.decimalSeparator = decimalSeparatorOf(numericLocale(environment));
    // A manifest carries the run's time, so that it too can be made again byte for byte.
    if ((rules.timestamped && !args.check) || !args.manifest.empty())
        request.timestamp = sourceDate(environment("SOURCE_DATE_EPOCH"));
    request.manifest = args.manifest;
    return request;
}

void describe(CLI::App& app, Arguments& args) {
    app.description("Reduces Vantry task files (.vty) to one record per participant, in the order "
                    "given, in a tab-separated output file (.dat) or in a file that SPSS, Stata, "
                    "R and Python open directly (.sav, .dta, .tsv) or that spreadsheets open "
                    "(.xlsx, .csv).");
    app.set_version_flag("--version", std::string(Name) + " " + DOZORIRA_VERSION);
    // Unknown options are kept for a usage error of this command's own wording, and a flag
    // given a value (--no-header=no) is refused rather than read as true or false.
    app.allow_extras();
    app.option_defaults()->disable_flag_override();
    app.add_option("-o,--output", args.output,
                   "Output file, replaced only once it is complete; - for standard output")
        ->option_text("OUTPUT");
    app.add_flag("--no-header", args.noHeader, "Leave out the column-name line");
    app.add_option("--decimal-separator", args.separator,
                   R"("." or "," (default: "." for tsv, which programs read; for dat and csv )"
                   R"(the locale's, from LC_ALL, LC_NUMERIC or LANG, as spreadsheets read a )"
                   R"(csv); "," makes a csv separate its fields by ";")")
        ->option_text("SEP");
    app.add_option("--format", args.format,
                   "dat (the default), tsv, sav (SPSS), dta (Stata 118), csv or xlsx (Excel, "
                   "LibreOffice), in any case; without it, an OUTPUT ending in .tsv, .sav, .dta, "
                   ".csv or .xlsx picks that format, and any other name but .vty and names of "
                   "files this program does not write (.xls, .por, ...) writes the dat")
        ->option_text("FORMAT");
    app.add_flag("--long", args.longLayout,
                 "One row per participant and cluster, with the cluster's label (field 1 of its "
                 "last line); a participant without clusters keeps one row of missing values "
                 "(all formats but dat)");
    app.add_flag("--trials", args.trialLayout,
                 "One row per participant, cluster and trial, with the cluster's label, whether "
                 "the trial had a data line (Recorded 1) or is a gap in the row numbers "
                 "(Recorded 0), and the trial's counts of opened boxes, within- and "
                 "between-search errors (all formats but dat)");
    app.add_flag("--check", args.check,
                 "Read and score every task file, write nothing but the --report, and report "
                 "every file that fails or whose numbers need a look in the output format "
                 "that --format or -o name (dat without them)");
    app.add_flag("--in-place", args.inPlace,
                 "Copy the finished output into the existing file instead of replacing it: for "
                 "an output that is a mount point or lies in a folder you may not write; a kill "
                 "-9 or a power cut during the copy can leave a mix of both studies");
    app.add_option("--report", args.report,
                   "Also write a PDF report of the study to REPORT (.pdf; - for standard output): "
                   "the summary of every cluster, every participant on a plot, the values that "
                   "lie far from their cluster's median, and what --check says; with --check, of "
                   "the files that pass. Written whole, like OUTPUT, after it")
        ->option_text("REPORT");
    app.add_option("--manifest", args.manifest,
                   "Also write a JSON manifest of the run: the program, its version, the time, "
                   "the options, every task file and the output, with their sizes and SHA-256; "
                   "written whole after the output (with --check too, once every file passed)")
        ->option_text("FILE");
    app.add_option("--verify", args.verify,
                   "Write nothing, but check that the output a manifest names, or a sav or dta "
                   "by its notes, still matches its task files: they are found from the folder of "
                   "the manifest or the output, hashed, and the run made again in memory")
        ->option_text("MANIFEST|OUTPUT");
    app.add_option("TASKFILE", args.taskFiles, "Task files, in the order of the records");
    app.formatter(std::make_shared<HelpFormatter>());
    app.footer(
        R"(Environment:
  LC_ALL, LC_NUMERIC, LANG
                        without --decimal-separator, the first of these
                        that is set chooses the decimal separator of a .dat
                        and a csv: nl_NL.UTF-8 writes 4,667 and en_GB.UTF-8
                        writes 4.667;
                        task files are always read with a point
  SOURCE_DATE_EPOCH     whole seconds since 1970: a sav, dta or xlsx output,
                        the report and a manifest carry this time, shown in
                        UTC, instead of the current one, so that two runs
                        give identical files; the other formats and --check
                        without --report or --manifest leave it unread
  TMPDIR                the folder for temporary files (default /tmp): the
                        parts of an xlsx, and the new file of --in-place)");
}

// "--check writes nothing, so --no-header and --decimal-separator do not apply: leave them out"
void refuseWhatCheckDoesNotTake(const CLI::App& app) {
    std::vector<std::string> given;
    for (const char* option : {"--no-header", "--decimal-separator", "--in-place"})
        if (app.count(option) > 0) given.emplace_back(option);
    if (given.empty()) return;
    std::string listed = given[0];
    for (std::size_t i = 1; i < given.size(); ++i)
        listed += (i + 1 == given.size() ? " and " : ", ") + given[i];
    throw UsageError(
        "--check writes nothing, so " + listed +
        (given.size() == 1 ? " does not apply: leave it out" : " do not apply: leave them out"));
}

// How many single-character edits, a swap of two neighbours among them, turn one word into the
// other (the optimal string alignment distance).
std::size_t editDistance(std::string_view from, std::string_view to) {
    std::vector<std::vector<std::size_t>> d(from.size() + 1,
                                            std::vector<std::size_t>(to.size() + 1));
    for (std::size_t i = 0; i <= from.size(); ++i)
        d[i][0] = i;
    for (std::size_t j = 0; j <= to.size(); ++j)
        d[0][j] = j;
    for (std::size_t i = 1; i <= from.size(); ++i)
        for (std::size_t j = 1; j <= to.size(); ++j) {
            const std::size_t change = from[i - 1] == to[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + change});
            if (i > 1 && j > 1 && from[i - 1] == to[j - 2] && from[i - 2] == to[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[from.size()][to.size()];
}

// The long option that a mistyped one most likely meant: one or two edits away, or the only one
// it begins; empty when none is that near.
std::string nearestOption(const CLI::App& app, std::string_view given) {
    const std::size_t start = given.find_first_not_of('-');
    if (start == std::string_view::npos || given.size() - start < 3) return {};
    const std::string_view word = given.substr(start);
    std::string nearest;
    std::size_t nearestDistance = 3;
    std::vector<std::string> beginning;
    for (const CLI::Option* option : app.get_options())
        for (const std::string& name : option->get_lnames()) {
            if (name.starts_with(word)) beginning.push_back(name);
            const std::size_t distance = editDistance(word, name);
            if (distance < nearestDistance) {
                nearestDistance = distance;
                nearest = name;
            }
        }
    if (nearest.empty() && beginning.size() == 1) nearest = beginning.front();
    return nearest.empty() ? nearest : "--" + nearest;
}

// CLI11 keeps what it does not know, and the "--" that ends the options too.
void refuseUnknownOptions(const CLI::App& app) {
    for (const std::string& unknown : app.remaining()) {
        if (unknown == "--") continue;
        const std::string given = unknown.substr(0, unknown.find('='));
        const std::string nearest = nearestOption(app, given);
        if (!nearest.empty())
            throw UsageError("there is no option " + dozorira::shownName(given) +
                             ": did you mean " + nearest + "?");
        throw UsageError("there is no option " + dozorira::shownName(given) +
                         "; give a task file whose name begins with - after --");
    }
}

// --verify reads everything it needs from the file it is given.
void refuseWhatVerifyDoesNotTake(const CLI::App& app, const Arguments& args) {
    if (app.count("--verify") > 0 && args.verify.empty())
        throw UsageError("--verify takes a manifest, or a sav or dta output: --verify FILE");
    std::size_t given = args.taskFiles.size();
    for (const CLI::Option* option : app.get_options())
        if (!option->get_positional() && option->get_name() != "--verify") given += option->count();
    if (given > 0)
        throw UsageError("--verify checks a file by what it records: give it alone, without "
                         "task files or other options");
}

void refuseManifestConflicts(const CLI::App& app, const Arguments& args) {
    if (app.count("--manifest") == 0) return;
    if (args.manifest.empty())
        throw UsageError("--manifest takes the file to write the manifest into: --manifest FILE");
    if (args.output == "-" || args.output == "/dev/stdout")
        throw UsageError("--manifest records the output's SHA-256, which standard output does "
                         "not keep: write the output to a file with -o FILE");
    if (args.manifest == args.output)
        throw UsageError("--manifest and -o name the same file; give the manifest a name of its "
                         "own");
    if (args.check && (args.manifest == "-" || args.manifest == "/dev/stdout"))
        throw UsageError("--check reports on standard output, so the manifest cannot go there: "
                         "give --manifest a file");
}

// What the parsed options ask for, once they are known to make a command that can run.
output::OutputRequest validate(const CLI::App& app, const Arguments& args,
                               const Environment& environment) {
    refuseUnknownOptions(app);
    if (app.count("--verify") > 0) {
        refuseWhatVerifyDoesNotTake(app, args);
        return {};
    }
    refuseManifestConflicts(app, args);
    if (args.check)
        refuseWhatCheckDoesNotTake(app);
    else if (app.count("--output") == 0)
        throw UsageError("give the output file with -o FILE, or use --check");
    if (app.count("--output") > 0 && args.output.empty()) throw UsageError(whatItTakes("--output"));
    if (args.taskFiles.empty())
        throw UsageError("give the task files, or the folders that hold them");
    if (app.count("--format") > 0 && !output::formatNamed(args.format))
        throw UsageError(whatItTakes("--format"));
    const std::string misleading = output::outputNameProblem(
        args.output, args.format.empty() ? std::nullopt : output::formatNamed(args.format));
    if (!misleading.empty()) throw UsageError(misleading);
    if (app.count("--decimal-separator") > 0 && args.separator != "." && args.separator != ",")
        throw UsageError(whatItTakes("--decimal-separator"));
    if (app.count("--report") > 0) validateReport(args);
    return request(args, environment);
}

std::string namesOf(const CLI::Option& option) {
    std::string names;
    for (const std::string& name : option.get_snames())
        names += (names.empty() ? "-" : "/-") + name;
    for (const std::string& name : option.get_lnames())
        names += (names.empty() ? "--" : "/--") + name;
    return names;
}

// "--output=" gives the option an empty value, as getopt_long does. CLI11 would take the next
// argument for its value instead, and the first task file would become the output.
std::vector<std::string> keepingEmptyValues(const CLI::App& app,
                                            const std::vector<std::string>& args) {
    std::vector<std::string> kept;
    for (auto arg = args.begin(); arg != args.end(); ++arg) {
        if (*arg == "--") {
            kept.insert(kept.end(), arg, args.end());
            break;
        }
        const CLI::Option* option = arg->starts_with("--") && arg->ends_with('=')
                                        ? app.get_option_no_throw(arg->substr(0, arg->size() - 1))
                                        : nullptr;
        if (option == nullptr || option->get_expected_max() == 0) {
            kept.push_back(*arg);
            continue;
        }
        kept.push_back(option->get_name());
        kept.emplace_back();
    }
    return kept;
}

// CLI11 says what went wrong in its own words, and they name the option only in passing; the
// arguments and what was parsed of them say which option it was.
std::string parseProblem(const CLI::ParseError& error, const CLI::App& app,
                         const std::vector<std::string>& args) {
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) == nullptr) return error.what();
    for (const CLI::Option* option : app.get_options()) {
        if (option->get_positional() || option->get_expected_max() == 0) continue;
        if (option->check_name(args.back())) return whatItTakes(option->get_name());
        if (option->count() > 1) return namesOf(*option) + " is given more than once; give it once";
    }
    for (const CLI::Option* option : app.get_options()) {
        if (option->get_expected_max() != 0) continue;
        for (const std::string& name : option->get_lnames())
            for (const std::string& arg : args)
                if (arg.starts_with("--" + name + "="))
                    return "--" + name + " takes no value; give it alone";
    }
    return error.what();
}

// Two records of one task file would count one participant twice.
std::string repeatedTaskFile(const study::TaskFiles& files, study::Repeat repeat) {
    const std::string& again = files.paths[repeat.again];
    const std::string& first = files.paths[repeat.first];
    std::string message = "the task file " + dozorira::shownName(first) + " is given twice";
    if (again != first) message += ", also as " + dozorira::shownName(again);
    return message + ": give each task file once";
}

int analyse(const Arguments& args, std::ostream& err) {
    try {
        for (const std::string& notice : output::writeOutput(
                 args.request, args.files, args.reportRequest ? &*args.reportRequest : nullptr))
            err << Name << ": " << notice << '\n';
    } catch (const RunError& e) {
        if (!e.aboutTaskFile()) return runError(err, e);
        // The first broken file ends a run; there may be more.
        err << Name << ": " << e.what()
            << "; run with --check in place of -o to find every broken task file at once\n";
        return ExitRunError;
    }
    return ExitOk;
}

int verify(const Arguments& args, std::ostream& out, std::ostream& err) {
    try {
        return output::verify(args.verify, out) ? ExitOk : ExitRunError;
    } catch (const RunError& e) {
        return runError(err, e);
    }
}

// Only a failing task file fails the check; its report, when asked for, is written all the same,
// since it lists the failing files; its manifest only when every file passed.
int check(const Arguments& args, std::ostream& out, std::ostream& err) {
    const auto print = [&out](const std::string& line) { out << line << '\n'; };
    try {
        const output::CheckCounts counts = output::checkStudy(
            args.request, args.files, print, args.reportRequest ? &*args.reportRequest : nullptr);
        return counts.failed == 0 ? ExitOk : ExitRunError;
    } catch (const RunError& e) {
        return runError(err, e);
    }
}

} // namespace

int runBatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
             const Environment& environment) {
    CLI::App app;
    app.name(Name);
    Arguments parsed;
    describe(app, parsed);
    const std::vector<std::string> given = keepingEmptyValues(app, args);
    try {
        std::vector<std::string> reversed(given.rbegin(), given.rend() - 1);
        app.parse(reversed);
        parsed.request = validate(app, parsed, environment);
        if (app.count("--report") > 0)
            parsed.reportRequest = reportRequest(args, parsed, environment);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return ExitOk;
    } catch (const CLI::CallForVersion& e) {
        out << e.what() << '\n';
        return ExitOk;
    } catch (const CLI::ParseError& e) {
        return usageError(err, parseProblem(e, app, given));
    } catch (const UsageError& e) {
        return usageError(err, e.what());
    }
    if (!parsed.verify.empty()) return verify(parsed, out, err);
    try {
        parsed.files = study::taskFilesOf(parsed.taskFiles);
    } catch (const RunError& e) {
        return runError(err, e);
    }
    if (const auto repeat = study::firstRepeat(parsed.files))
        return usageError(err, repeatedTaskFile(parsed.files, *repeat));
    return parsed.check ? check(parsed, out, err) : analyse(parsed, err);
}

} // namespace dozorira::cli
