#include "batch.h"

#include "error.h"
#include "locale_separator.h"
#include "output_format.h"
#include "run.h"
#include "warnings.h"

#include <CLI/CLI.hpp>

namespace dozorira::cli {
namespace {

constexpr const char* Name = "dozorira-batch";

struct Arguments {
    std::string output;
    bool noHeader = false;
    std::string separator;
    bool check = false;
    std::vector<std::string> taskFiles;
    std::string format;
    bool longLayout = false;
    Format chosen = Format::Dat;
};

int usageError(std::ostream& err, const char* message) {
    err << Name << ": " << message << "\nRun with --help for more information.\n";
    return ExitUsage;
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

void describe(CLI::App& app, Arguments& args) {
    app.description("Reduces Vantry task files (.vty) to one record per participant, in the order "
                    "given, in a tab-separated output file (.dat) or in a file that SPSS, Stata, "
                    "R and Python open directly (.sav, .dta, .tsv).");
    app.set_version_flag("--version", std::string(Name) + " " + DOZORIRA_VERSION);
    auto* output = app.add_option("-o,--output", args.output,
                                  "Output file; a dat output is emptied first, a tsv, sav or dta "
                                  "output replaced once complete")
                       ->option_text("OUTPUT");
    app.add_flag("--no-header", args.noHeader, "Leave out the column-name line");
    app.add_option("--decimal-separator", args.separator,
                   R"("." or "," (default: "." for tsv; for dat the locale's, from LC_ALL, )"
                   "LC_NUMERIC or LANG)")
        ->check(CLI::IsMember({".", ","}))
        ->option_text("SEP");
    auto* format = app.add_option("--format", args.format,
                                  "dat (the default), tsv, sav (SPSS) or dta (Stata 118); without "
                                  "it, an OUTPUT ending in .tsv, .sav or .dta picks that format")
                       ->check(CLI::IsMember({"dat", "tsv", "sav", "dta"}))
                       ->option_text("FORMAT");
    auto* longLayout = app.add_flag("--long", args.longLayout,
                                    "One row per participant and cluster (tsv, sav and dta)");
    auto* check = app.add_flag("--check", args.check,
                               "Read and score every task file, write nothing, and report "
                               "every file that fails or whose numbers need a look");
    app.add_option("TASKFILE", args.taskFiles, "Task files, in the order of the records")
        ->required();
    app.formatter(std::make_shared<HelpFormatter>());
    app.callback([output, check, format, longLayout, &args] {
        if (check->count()) {
            if (output->count() || format->count() || longLayout->count())
                throw CLI::ValidationError("--check writes nothing, so it takes no --output, "
                                           "--format or --long");
            return;
        }
        if (!output->count()) throw CLI::RequiredError("--output is required (or --check)");
        args.chosen = chooseFormat(
            {args.format, args.output, args.longLayout, args.noHeader, !args.separator.empty()});
    });
}

int analyse(const Arguments& args, char separator, std::ostream& err) {
    AnalysisRun run(args.output, RunOptions{!args.noHeader, separator});
    try {
        run.run(args.taskFiles);
    } catch (const RunError& e) {
        err << Name << ": " << e.what() << '\n';
        return ExitRunError;
    }
    return ExitOk;
}

// Programs read tsv with ".", whatever the locale; only sav and dta carry a timestamp.
int analyseWhole(const Arguments& args, std::ostream& err, const Environment& environment) {
    std::optional<std::time_t> timestamp;
    if (args.chosen != Format::Tsv) {
        try {
            timestamp = sourceDate(environment("SOURCE_DATE_EPOCH"));
        } catch (const CLI::ValidationError& e) {
            return usageError(err, e.what());
        }
    }
    const char separator = args.separator.empty() ? '.' : args.separator[0];
    try {
        writeWhole(args.chosen, args.longLayout, separator, timestamp, args.output, args.taskFiles);
    } catch (const RunError& e) {
        err << Name << ": " << e.what() << '\n';
        return ExitRunError;
    }
    return ExitOk;
}

// Warnings never fail the check: the numbers they point at are legal, only worth a look.
int check(const Arguments& args, std::ostream& out) {
    RunCheck run;
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
    describe(app, parsed);
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
    if (parsed.check) return check(parsed, out);
    if (parsed.chosen != Format::Dat) return analyseWhole(parsed, err, environment);
    const char separator = parsed.separator.empty() ? decimalSeparatorOf(numericLocale(environment))
                                                    : parsed.separator[0];
    return analyse(parsed, separator, err);
}

} // namespace dozorira::cli
