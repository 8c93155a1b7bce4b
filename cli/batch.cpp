#include "batch.h"

#include "check.h"
#include "error.h"
#include "locale_separator.h"
#include "request.h"
#include "verify.h"
#include "whole_run.h"

#include <CLI/CLI.hpp>
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
    bool noHeader = false;
    std::string separator;
    bool check = false;
    std::vector<std::string> taskFiles; // as given, folders among them
    std::string format;
    bool longLayout = false;
    bool trialLayout = false;
    std::string manifest;
    std::string verify;
    // What the options ask for, once they are known to go together.
    output::OutputRequest request;
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
    return ExitRunError;
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
        return "Usage: " + name + " [OPTIONS] -o OUTPUT TASKFILE...\n" + //
               "   or: " + name + " [OPTIONS] --check TASKFILE...\n" +   //
               "   or: " + name + " --verify MANIFEST|OUTPUT\n" +        //
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
  other cluster count   in a .dat, a file with more or fewer clusters than
                        the run's first file has more or fewer columns than
                        the column names
  subject seen before   two records under one name
Warnings alone do not make the exit status non-zero.

A sav or dta carries its provenance in its notes (SPSS documents, Stata notes),
an xlsx in a second sheet, "Provenance": the program and its version, the time,
the options that shape the file, and every task file with its size and
SHA-256. The dat, tsv and csv stay as they are; --manifest records any run.

Exit status:
  0   success; with --check, no task file failed, whatever the warnings; with
      --verify, the file matches its task files
  1   a task file, a folder or the output failed; the message says which; with
      --verify, a line names each task file or output that does not match
  2   the command line was wrong; the message says what to do
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
    return option + " needs a value";
}

output::Layout layoutOf(const Arguments& args) {
    if (args.longLayout && args.trialLayout)
        throw UsageError("--long and --trials ask for two layouts; give one of them");
    if (args.trialLayout) return output::Layout::Trials;
    return args.longLayout ? output::Layout::Long : output::Layout::Wide;
}

// The format asked for, and whether the other options go with it; a usage error otherwise.
Format chooseFormat(const Arguments& args) {
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

output::OutputRequest request(const Arguments& args, const Environment& environment) {
    output::OutputRequest request;
    request.format = chooseFormat(args);
    const FormatRules& rules = output::rulesOf(request.format);
    request.layout = layoutOf(args);
    request.path = args.output;
    request.withColumnNames = !args.noHeader;
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
                   R"("." or "," (default: "." for tsv and csv; for dat the locale's, from )"
                   R"(LC_ALL, LC_NUMERIC or LANG); "," makes a csv separate its fields by ";")")
        ->option_text("SEP");
    app.add_option("--format", args.format,
                   "dat (the default), tsv, sav (SPSS), dta (Stata 118), csv or xlsx (Excel, "
                   "LibreOffice); without it, an OUTPUT ending in .tsv, .sav, .dta, .csv or .xlsx "
                   "picks that format")
        ->option_text("FORMAT");
    app.add_flag("--long", args.longLayout,
                 "One row per participant and cluster (all formats but dat)");
    app.add_flag("--trials", args.trialLayout,
                 "One row per participant, cluster and trial, with the trial's counts of opened "
                 "boxes, within- and between-search errors (all formats but dat)");
    app.add_flag("--check", args.check,
                 "Read and score every task file, write nothing, and report every "
                 "file that fails or whose numbers need a look in the output format "
                 "that --format or -o name (dat without them)");
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
                        that is set chooses the decimal separator of a .dat:
                        nl_NL.UTF-8 writes 4,667 and en_GB.UTF-8 writes 4.667;
                        task files are always read with a point
  SOURCE_DATE_EPOCH     whole seconds since 1970: a sav, dta or xlsx output
                        and a manifest carry this time, shown in UTC, instead
                        of the current one, so that two runs give identical
                        files; the other formats and --check without
                        --manifest leave it unread)");
}

// "--check writes nothing, so --no-header and --decimal-separator do not apply: leave them out"
void refuseWhatCheckDoesNotTake(const CLI::App& app) {
    std::vector<std::string> given;
    for (const char* option : {"--no-header", "--decimal-separator"})
        if (app.count(option) > 0) given.emplace_back(option);
    if (given.empty()) return;
    throw UsageError("--check writes nothing, so " +
                     (given.size() == 1
                          ? given[0] + " does not apply: leave it out"
                          : given[0] + " and " + given[1] + " do not apply: leave them out"));
}

// CLI11 keeps what it does not know, and the "--" that ends the options too.
void refuseUnknownOptions(const CLI::App& app) {
    for (const std::string& unknown : app.remaining()) {
        if (unknown == "--") continue;
        throw UsageError("there is no option " +
                         dozorira::shownName(unknown.substr(0, unknown.find('='))) +
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
    if (app.count("--decimal-separator") > 0 && args.separator != "." && args.separator != ",")
        throw UsageError(whatItTakes("--decimal-separator"));
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

int analyse(const Arguments& args, std::ostream& err) {
    try {
        output::writeOutput(args.request, args.files);
    } catch (const RunError& e) {
        return runError(err, e);
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

// Warnings never fail the check: the numbers they point at are legal, only worth a look.
int check(const Arguments& args, std::ostream& out, std::ostream& err) {
    output::RunCheck run(args.request.format, args.output);
    std::optional<output::CheckManifest> manifest;
    try {
        manifest.emplace(args.request, args.files);
    } catch (const RunError& e) {
        return runError(err, e);
    }
    int failed = 0;
    int warned = 0;
    for (std::size_t i = 0; i < args.files.paths.size(); ++i) {
        const std::string& path = args.files.paths[i];
        try {
            const std::vector<Warning> warnings = run.check(path, manifest->tap(i));
            for (const Warning& warning : warnings)
                out << warning.message() << '\n';
            if (!warnings.empty()) ++warned;
        } catch (const RunError& e) {
            out << e.what() << '\n';
            ++failed;
        }
    }
    const std::size_t checked = args.files.paths.size();
    out << std::to_string(checked) << (checked == 1 ? " file" : " files") << " checked, "
        << std::to_string(failed) << " with errors, " << std::to_string(warned)
        << " with warnings\n";
    if (failed > 0) return ExitRunError;
    try {
        manifest->commit();
    } catch (const RunError& e) {
        return runError(err, e);
    }
    return ExitOk;
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
    return parsed.check ? check(parsed, out, err) : analyse(parsed, err);
}

} // namespace dozorira::cli
