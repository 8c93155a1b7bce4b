#include "batch.h"

#include "error.h"
#include "locale_separator.h"
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
    app.description("Reduces Vantry task files (.vty) to one record per participant in a "
                    "tab-separated output file (.dat).");
    app.set_version_flag("--version", std::string(Name) + " " + DOZORIRA_VERSION);
    auto* output = app.add_option("-o,--output", args.output, "Output file; emptied first")
                       ->option_text("OUTPUT");
    app.add_flag("--no-header", args.noHeader, "Leave out the column-name line");
    app.add_option("--decimal-separator", args.separator,
                   R"("." or "," (default: the locale's, from LC_ALL, LC_NUMERIC or LANG))")
        ->check(CLI::IsMember({".", ","}))
        ->option_text("SEP");
    auto* check = app.add_flag("--check", args.check,
                               "Read and score every task file, write nothing, and report "
                               "every file that fails or whose numbers need a look");
    app.add_option("TASKFILE", args.taskFiles, "Task files, in the order of the records")
        ->required();
    check->excludes(output);
    app.callback([output, check] {
        if (!check->count() && !output->count())
            throw CLI::RequiredError("--output is required (or --check)");
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
        err << Name << ": " << e.what() << "\nRun with --help for more information.\n";
        return ExitUsage;
    }
    const char separator = parsed.separator.empty() ? decimalSeparatorOf(numericLocale(environment))
                                                    : parsed.separator[0];
    return parsed.check ? check(parsed, out) : analyse(parsed, separator, err);
}

} // namespace dozorira::cli
