#include "report_file.h"

#include "error.h"
#include "report_input.h"
#include "shared_library.h"

#include <array>
#include <filesystem>

namespace dozorira::report {
namespace {

namespace fs = std::filesystem;

// The library lies in a folder of its own beside the program's folder: in the build tree as it does
// once installed (/usr/lib/x86_64-linux-gnu/dozorira for /usr/bin).
// A program whose path is unknown loads no library by a relative name, which would be looked for
// in the current folder.
std::string libraryPath() {
    std::error_code ec;
    const fs::path program = fs::read_symlink("/proc/self/exe", ec);
    if (ec || !program.is_absolute())
        throw RunError(ErrorKind::FileError,
                       "cannot find the report library: the program's own path is unknown (" +
                           ec.message() + ")");
    return (program.parent_path().parent_path() / DOZORIRA_REPORT_LIBRARY).string();
}

WriteReport* reportWriter() {
    static const SharedLibrary library(libraryPath(), "draws the report of --report");
    static WriteReport* const write = [] {
        WriteReport* found = nullptr;
        library.find(DOZORIRA_REPORT_ENTRY, found);
        return found;
    }();
    return write;
}

bool writeTo(void* file, const unsigned char* bytes, unsigned int size) {
    return static_cast<files::WholeFile*>(file)->write(bytes, size);
}

bool plainWord(std::string_view word) {
    constexpr std::string_view plain = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                       "0123456789_./:=,+@%-";
    return !word.empty() && word.find_first_not_of(plain) == std::string_view::npos;
}

std::string shownWord(const std::string& word) {
    if (plainWord(word)) return word;
    if (shownName(word) != word) return shownName(word, true);
    std::string quoted = "'";
    for (const char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

void draw(const output::CheckedRun& run, const RunFacts& facts, files::WholeFile& out) {
    std::vector<std::string> subjects;
    subjects.reserve(run.results.size());
    for (const ParticipantResult& result : run.results)
        subjects.push_back(shownName(result.subject));
    const std::string commandLine = shownCommandLine(facts.commandLine);
    ReportInput input;
    input.program = "dozorira-batch " DOZORIRA_VERSION;
    input.commandLine = commandLine;
    input.time = facts.time;
    input.checkedFor = output::rulesOf(run.format).description;
    input.checkOnly = run.checkOnly;
    input.results = run.results;
    input.subjects = subjects;
    input.checkLines = run.checkLines;
    input.taskFiles = run.counts.checked;
    input.failed = run.counts.failed;
    input.warned = run.counts.warned;
    std::array<char, 512> message{};
    if (reportWriter()(&input, writeTo, &out, message.data(), message.size())) return;
    out.throwIfFailed(); // the system's reason, when the bytes could not be written
    throw RunError(ErrorKind::FileError, "cannot draw the report: " + std::string(message.data()))
        .inFile(out.path());
}

} // namespace

output::ReportRequest reportRequest(std::string path, RunFacts facts) {
    return {std::move(path),
            [facts = std::move(facts)](const output::CheckedRun& run, files::WholeFile& out) {
                draw(run, facts, out);
            }};
}

std::string shownCommandLine(const std::vector<std::string>& words, std::size_t mostCharacters) {
    std::string line;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string word = shownWord(words[i]);
        if (i > 0 && line.size() + word.size() > mostCharacters)
            return line + " … (" + std::to_string(words.size() - i) + " more arguments)";
        line += (i > 0 ? " " : "") + word;
    }
    return line;
}

} // namespace dozorira::report
