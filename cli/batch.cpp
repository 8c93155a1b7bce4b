#include "batch.h"

#include "check.h"
#include "error.h"
#include "locale_separator.h"
#include "request.h"

#include <CLI/CLI.hpp>
#include <charconv>

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
    std::vector<std::string> taskFiles;
    std::string format;
    bool longLayout = false;
    bool trialLayout = false;
    // What the options ask for, once they are known to go together.
    output::OutputRequest request;
};

int usageError(std::ostream& err, const std::string& message) {
    err << Name << ": " << message << "\nRun with --help for more information.\n";
    return ExitUsage;
}

int runError(std::ostream& err, const RunError& error) {
    err << Name << ": " << error.what() << '\n';
    return ExitRunError;
}

// CLI11's help in the shape man readers and help2man expect: "-o, --output OUTPUT", and the task
// files only in the usage line, which the description explains.
class HelpFormatter : public CLI::Formatter {
public:
    std::string make_option_name(const CLI::Option* option, bool positional) const override {
        std::string spaced;
        for (const char c : CLI::Formatter::make_option_name(option, positional))
            spaced += c == ',' ? std::string_view(", ") : std::string_view(&c, 1);
        return spaced;
    }
    std::string make_positionals(const CLI::App* /*app*/) const override { return {}; }
};

// The locale that decides numbers, as the window's toolkit finds it.
std::string numericLocale(const Environment& environment) {
    for (const char* variable : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
        std::string value = environment(variable);
        if (!value.empty()) return value;
    }
    return "C";
}

std::vector<std::string> formatNames() {
    std::vector<std::string> names;
    for (const FormatRules& rules : output::allFormats())
        names.emplace_back(rules.name);
    return names;
}

output::Layout layoutOf(const Arguments& args) {
    if (args.longLayout && args.trialLayout)
        throw CLI::ValidationError("--long and --trials ask for two layouts; give one of them");
    if (args.trialLayout) return output::Layout::Trials;
    return args.longLayout ? output::Layout::Long : output::Layout::Wide;
}

// The format asked for, and whether the other options go with it; a usage error otherwise.
Format chooseFormat(const Arguments& args) {
    const Format format = args.format.empty() ? output::formatOfOutput(args.output)
                                              : *output::formatNamed(args.format);
    const std::string conflict = output::optionConflict(
        output::rulesOf(format), {layoutOf(args), args.noHeader, !args.separator.empty()});
    if (!conflict.empty()) throw CLI::ValidationError(conflict);
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
        throw CLI::ValidationError("SOURCE_DATE_EPOCH must be a whole number of seconds since "
                                   "1970 (at most " +
                                   std::to_string(LatestTimestamp) + "), not " +
                                   dozorira::quoted(value));
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
    if (rules.timestamped && !args.check)
        request.timestamp = sourceDate(environment("SOURCE_DATE_EPOCH"));
    return request;
}

void describe(CLI::App& app, Arguments& args, const Environment& environment) {
    app.description("Reduces Vantry task files (.vty) to one record per participant, in the order "
                    "given, in a tab-separated output file (.dat) or in a file that SPSS, Stata, "
                    "R and Python open directly (.sav, .dta, .tsv) or that spreadsheets open "
                    "(.xlsx, .csv).");
    app.set_version_flag("--version", std::string(Name) + " " + DOZORIRA_VERSION);
    auto* output = app.add_option("-o,--output", args.output,
                                  "Output file, replaced only once it is complete; - for standard "
                                  "output")
                       ->option_text("OUTPUT");
    auto* noHeader = app.add_flag("--no-header", args.noHeader, "Leave out the column-name line");
    auto* separator =
        app.add_option("--decimal-separator", args.separator,
                       R"("." or "," (default: "." for tsv and csv; for dat the locale's, from )"
                       R"(LC_ALL, LC_NUMERIC or LANG); "," makes a csv separate its fields by ";")")
            ->check(CLI::IsMember({".", ","}))
            ->option_text("SEP");
    app.add_option("--format", args.format,
                   "dat (the default), tsv, sav (SPSS), dta (Stata 118), csv or xlsx (Excel, "
                   "LibreOffice); without it, an OUTPUT ending in .tsv, .sav, .dta, .csv or .xlsx "
                   "picks that format")
        ->check(CLI::IsMember(formatNames()))
        ->option_text("FORMAT");
    app.add_flag("--long", args.longLayout,
                 "One row per participant and cluster (all formats but dat)");
    app.add_flag("--trials", args.trialLayout,
                 "One row per participant, cluster and trial, with the trial's counts of opened "
                 "boxes, within- and between-search errors (all formats but dat)");
    auto* check = app.add_flag("--check", args.check,
                               "Read and score every task file, write nothing, and report every "
                               "file that fails or whose numbers need a look in the output format "
                               "that --format or -o name (dat without them)");
    app.add_option("TASKFILE", args.taskFiles, "Task files, in the order of the records")
        ->required();
    app.formatter(std::make_shared<HelpFormatter>());
    app.callback([output, noHeader, separator, check, &args, &environment] {
        if (check->count()) {
            if (noHeader->count() || separator->count())
                throw CLI::ValidationError("--check writes nothing, so it takes no --no-header "
                                           "or --decimal-separator");
        } else if (!output->count()) {
            throw CLI::RequiredError("--output is required (or --check)");
        }
        args.request = request(args, environment);
    });
}

int analyse(const Arguments& args, std::ostream& err) {
    try {
        output::writeOutput(args.request, args.taskFiles);
    } catch (const RunError& e) {
        return runError(err, e);
    }
    return ExitOk;
}

// Warnings never fail the check: the numbers they point at are legal, only worth a look.
int check(const Arguments& args, std::ostream& out) {
    output::RunCheck run(args.request.format, args.output);
    int failed = 0;
    int warned = 0;
    for (const std::string& path : args.taskFiles) {
        try {
            const std::vector<Warning> warnings = run.check(path);
            for (const Warning& warning : warnings)
                out << warning.message() << '\n';
            if (!warnings.empty()) ++warned;
        } catch (const RunError& e) {
            out << e.what() << '\n';
            ++failed;
        }
    }
    const std::size_t checked = args.taskFiles.size();
    out << std::to_string(checked) << (checked == 1 ? " file" : " files") << " checked, "
        << std::to_string(failed) << " with errors, " << std::to_string(warned)
        << " with warnings\n";
    return failed == 0 ? ExitOk : ExitRunError;
}

} // namespace

int runBatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
             const Environment& environment) {
    CLI::App app;
    app.name(Name);
    Arguments parsed;
    describe(app, parsed, environment);
    try {
        std::vector<std::string> reversed(args.rbegin(), args.rend() - 1);
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return ExitOk;
    } catch (const CLI::CallForVersion& e) {
        out << e.what() << '\n';
        return ExitOk;
    } catch (const CLI::ParseError& e) {
        return usageError(err, e.what());
    }
    return parsed.check ? check(parsed, out) : analyse(parsed, err);
}

} // namespace dozorira::cli
