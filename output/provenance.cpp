#include "provenance.h"

#include "error.h"
#include "sha256.h"

#include <algorithm>
#include <charconv>
#include <filesystem>

namespace dozorira::output {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view MadeBy = "Made by Dozorira ";
constexpr std::string_view MadeWith = " (dozorira-batch) at ";
constexpr std::string_view OptionsLine = "Options: ";
constexpr std::string_view NamesFromLine = "Task file names start from the folder ";
constexpr std::string_view NamesFromEnd = " of this file";
constexpr std::string_view FolderLine = "Task files found in the folder ";
constexpr std::string_view TaskFileLine = "Task file ";
constexpr std::string_view SizeAndHash = " bytes, SHA-256 ";
constexpr std::string_view Continued = "  ";
constexpr std::size_t HexDigits = 64;

fs::path absoluteFolder(const std::string& path) {
    std::error_code ec;
    fs::path absolute = fs::absolute(path.empty() ? "." : path, ec).lexically_normal();
    if (!absolute.has_filename() && absolute.has_relative_path()) absolute = absolute.parent_path();
    return absolute;
}

// Where a piece of a line that starts at at and may take room bytes ends: before the last blank
// in reach that follows a character, so that no piece ends in a blank, which SPSS readers trim;
// without one, at the last whole UTF-8 character in reach.
std::size_t pieceEnd(const std::string& line, std::size_t at, std::size_t room) {
    for (std::size_t cut = at + room; cut > at + 1; --cut)
        if (line[cut] == ' ' && line[cut - 1] != ' ') return cut;
    std::size_t cut = at + room;
    while (cut > at + 1 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
        --cut;
    return cut;
}

void addWrapped(const std::string& line, std::size_t width, std::vector<std::string>& lines) {
    if (width == 0 || line.size() <= width) {
        lines.push_back(line);
        return;
    }
    std::string_view prefix;
    for (std::size_t at = 0; at < line.size();) {
        const std::size_t room = width - prefix.size();
        const std::size_t end = line.size() - at <= room ? line.size() : pieceEnd(line, at, room);
        lines.push_back(std::string(prefix) + line.substr(at, end - at));
        at = end;
        prefix = Continued;
    }
}

// The lines as written before they were cut to a width.
std::vector<std::string> rejoined(const std::vector<std::string>& lines) {
    std::vector<std::string> whole;
    for (const std::string& line : lines) {
        if (line.starts_with(Continued) && !whole.empty())
            whole.back() += line.substr(Continued.size());
        else
            whole.push_back(line);
    }
    return whole;
}

// The quoted name at the start of text and the bytes it takes; nothing when there is none.
std::optional<std::pair<std::string, std::size_t>> quotedAtStart(std::string_view text) {
    if (!text.starts_with('"')) return std::nullopt;
    for (std::size_t at = 1; at < text.size(); ++at) {
        if (text[at] == '\\') {
            ++at;
            continue;
        }
        if (text[at] != '"') continue;
        std::optional<std::string> name = nameFromShown(text.substr(0, at + 1));
        if (!name) return std::nullopt;
        return std::make_pair(std::move(*name), at + 1);
    }
    return std::nullopt;
}

template <typename Number> std::optional<Number> numberOf(std::string_view text) {
    Number number{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return number;
}

bool isSha256(std::string_view text) {
    return text.size() == HexDigits && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

std::vector<std::string> words(std::string_view text) {
    std::vector<std::string> found;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        if (end > at) found.emplace_back(text.substr(at, end - at));
        at = end + 1;
    }
    return found;
}

// One line of provenance read into the record; false when it is not one of its lines.
class LineParser {
public:
    explicit LineParser(RunRecord& record) : record_(record) {}

    bool read(std::string_view line) {
        if (line.starts_with(MadeBy)) return madeBy(line.substr(MadeBy.size()));
        if (line.starts_with(OptionsLine)) {
            record_.options = words(line.substr(OptionsLine.size()));
            return true;
        }
        if (line.starts_with(NamesFromLine)) return namesFrom(line.substr(NamesFromLine.size()));
        if (line.starts_with(FolderLine)) return folder(line.substr(FolderLine.size()));
        if (line.starts_with(TaskFileLine)) return taskFile(line.substr(TaskFileLine.size()));
        return false;
    }

    bool made() const { return made_; }

private:
    bool madeBy(std::string_view rest) {
        const std::size_t with = rest.find(MadeWith);
        if (with == std::string_view::npos) return false;
        const std::optional<std::time_t> time = timeFromIso(rest.substr(with + MadeWith.size()));
        if (!time) return false;
        record_.version = rest.substr(0, with);
        record_.time = *time;
        made_ = true;
        return true;
    }

    bool namesFrom(std::string_view rest) {
        const auto name = quotedAtStart(rest);
        if (!name || rest.substr(name->second) != NamesFromEnd) return false;
        record_.namesFrom = name->first;
        return true;
    }

    bool folder(std::string_view rest) {
        const auto name = quotedAtStart(rest);
        if (!name || name->second != rest.size()) return false;
        record_.folders.push_back(name->first);
        return true;
    }

    bool taskFile(std::string_view rest) {
        const auto name = quotedAtStart(rest);
        if (!name || !rest.substr(name->second).starts_with(", ")) return false;
        rest.remove_prefix(name->second + 2);
        const std::size_t bytes = rest.find(SizeAndHash);
        if (bytes == std::string_view::npos) return false;
        const auto size = numberOf<std::uint64_t>(rest.substr(0, bytes));
        const std::string_view hash = rest.substr(bytes + SizeAndHash.size());
        if (!size || !isSha256(hash)) return false;
        record_.taskFiles.push_back({name->first, *size, std::string(hash)});
        return true;
    }

    RunRecord& record_;
    bool made_ = false;
};

} // namespace

std::vector<std::string> optionsOf(const OutputRequest& request, bool check) {
    const FormatRules& rules = rulesOf(request.format);
    std::vector<std::string> options;
    if (check) options.emplace_back("--check");
    options.emplace_back("--format");
    options.emplace_back(rules.name);
    if (request.layout != Layout::Wide) options.emplace_back(optionOf(request.layout));
    if (check) return options;
    if (rules.columnNameSwitch && !request.withColumnNames) options.emplace_back("--no-header");
    if (rules.separator != DefaultSeparator::None) {
        options.emplace_back("--decimal-separator");
        options.emplace_back(1, request.decimalSeparator);
    }
    return options;
}

OutputRequest requestOf(const std::vector<std::string>& options, const std::string& source) {
    OutputRequest request;
    for (std::size_t i = 0; i < options.size(); ++i) {
        const std::string& option = options[i];
        const std::string value = i + 1 < options.size() ? options[i + 1] : "";
        if (option == "--check") continue;
        if (option == "--long" || option == "--trials") {
            request.layout = option == "--long" ? Layout::Long : Layout::Trials;
        } else if (option == "--no-header") {
            request.withColumnNames = false;
        } else if (option == "--format" && formatNamed(value)) {
            request.format = *formatNamed(value);
            ++i;
        } else if (option == "--decimal-separator" && (value == "." || value == ",")) {
            request.decimalSeparator = value[0];
            ++i;
        } else {
            throw RunError(ErrorKind::FileError,
                           "it records the option " + shownName(option, true) +
                               ", which this version of dozorira-batch does not know")
                .inFile(source);
        }
    }
    return request;
}

std::string isoTime(std::time_t time) {
    std::tm utc{};
    ::gmtime_r(&time, &utc);
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text;
}

std::optional<std::time_t> timeFromIso(std::string_view text) {
    // The fields where "2023-11-14T22:13:20Z" has them; the round trip below checks the rest.
    if (text.size() != 20) return std::nullopt;
    const auto field = [&text](std::size_t at, std::size_t size) {
        return numberOf<int>(text.substr(at, size)).value_or(-1);
    };
    std::tm utc{};
    utc.tm_year = field(0, 4) - 1900;
    utc.tm_mon = field(5, 2) - 1;
    utc.tm_mday = field(8, 2);
    utc.tm_hour = field(11, 2);
    utc.tm_min = field(14, 2);
    utc.tm_sec = field(17, 2);
    const std::time_t time = ::timegm(&utc);
    if (time < 0 || isoTime(time) != text) return std::nullopt;
    return time;
}

std::optional<std::string> nameFromShown(std::string_view shown) {
    if (!shown.starts_with('"')) return std::string(shown);
    if (shown.size() < 2 || !shown.ends_with('"')) return std::nullopt;
    std::string name;
    for (std::size_t at = 1; at + 1 < shown.size(); ++at) {
        if (shown[at] != '\\') {
            name += shown[at];
            continue;
        }
        if (++at + 1 >= shown.size()) return std::nullopt;
        switch (shown[at]) {
        case 'n': name += '\n'; break;
        case 't': name += '\t'; break;
        case 'r': name += '\r'; break;
        case '\\':
        case '"': name += shown[at]; break;
        case 'x': {
            const auto byte = at + 3 < shown.size() ? std::optional<unsigned>(0) : std::nullopt;
            unsigned value = 0;
            const char* from = shown.data() + at + 1;
            if (!byte || std::from_chars(from, from + 2, value, 16).ptr != from + 2)
                return std::nullopt;
            name += static_cast<char>(value);
            at += 2;
            break;
        }
        default: return std::nullopt;
        }
    }
    return name;
}

std::string pathFrom(const std::string& from, const std::string& to) {
    const fs::path target = absoluteFolder(to);
    const fs::path relative = target.lexically_relative(absoluteFolder(from));
    return relative.empty() ? target.string() : relative.string();
}

PathsFrom::PathsFrom(const std::string& folder)
    : work_(absoluteFolder(".")), folder_(absoluteFolder(folder)) {
    // A plain relative path (no ".", ".." or "//") only adds its own parts to the working folder
    // seen from the folder, unless the working folder is the folder or lies above it, where its
    // parts could lead back into the folder.
    const fs::path relative = work_.lexically_relative(folder_);
    if (!relative.empty() && relative != "." && relative.filename() != "..")
        workFromFolder_ = relative.string();
}

std::string PathsFrom::operator()(const std::string& path) const {
    if (folder_ == work_ && isPlainRelative(path)) return path;
    // A study of thousands of files spends more on paths taken apart than on the manifest.
    if (!workFromFolder_.empty() && isPlainRelative(path)) return workFromFolder_ + "/" + path;
    fs::path target = (work_ / path).lexically_normal();
    if (!target.has_filename() && target.has_relative_path()) target = target.parent_path();
    const fs::path relative = target.lexically_relative(folder_);
    return relative.empty() ? target.string() : relative.string();
}

// A relative path with nothing for lexically_normal to do: no ".", "..", "//" or "/" at the end.
bool PathsFrom::isPlainRelative(std::string_view path) {
    if (path.empty() || path.front() == '/' || path.back() == '/') return false;
    for (std::size_t at = 0; at <= path.size();) {
        const std::size_t end = std::min(path.find('/', at), path.size());
        const std::string_view part = path.substr(at, end - at);
        if (part.empty() || part == "." || part == "..") return false;
        at = end + 1;
    }
    return true;
}

std::string folderOf(const std::string& file) {
    const fs::path folder = fs::path(file).parent_path();
    return folder.empty() ? "." : folder.string();
}

bool hasRelativeNames(const RunRecord& record) {
    const auto relative = [](const std::string& path) { return !path.starts_with('/'); };
    return std::any_of(record.folders.begin(), record.folders.end(), relative) ||
           std::any_of(record.taskFiles.begin(), record.taskFiles.end(),
                       [&](const TaskFileRecord& file) { return relative(file.path); });
}

RunRecord recordOf(const OutputRequest& request, const study::TaskFiles& taskFiles,
                   std::time_t time) {
    RunRecord record;
    record.version = DOZORIRA_VERSION;
    record.time = time;
    record.options = optionsOf(request);
    for (const std::string& folder : taskFiles.folders)
        if (!folder.empty() &&
            std::find(record.folders.begin(), record.folders.end(), folder) == record.folders.end())
            record.folders.push_back(folder);
    record.taskFiles.reserve(taskFiles.paths.size());
    for (const std::string& path : taskFiles.paths)
        record.taskFiles.push_back({path, 0, {}});
    if (request.path != "-" && hasRelativeNames(record))
        record.namesFrom = pathFrom(folderOf(request.path), ".");
    return record;
}

TaskFileDigests::TaskFileDigests(std::size_t files)
    : files_(files), loading_(std::make_unique<Sha256Loading>()) {
    taps_.reserve(files);
    for (Taken& file : files_)
        taps_.emplace_back([this, &file](std::string_view piece) { take(file, piece); });
}

TaskFileDigests::~TaskFileDigests() = default;

// Every piece of a file comes on the thread that reads it, one file after another, and an empty
// one at its end: each thread hashes its files in one context of its own, started anew for each
// file, as a context made for every file would cost more than hashing it. The first file waits
// for libcrypto to be loaded; keeping its bytes meanwhile would cost more memory than waiting
// costs time. A tap never throws for the library: its failure is fillIn's to tell, naming no
// task file.
void TaskFileDigests::take(Taken& file, std::string_view piece) {
    thread_local std::optional<Sha256> hash;
    if (!file.begun) {
        file.begun = true;
        file.hashing = loading_->loaded() || loading_->waitQuietly();
        if (!file.hashing) return;
        if (!hash) hash.emplace();
        hash->restart();
    }
    if (!file.hashing) return;
    hash->add(piece);
    file.size += piece.size();
    if (piece.empty()) file.sha256 = hash->finish();
}

void TaskFileDigests::fillIn(std::vector<TaskFileRecord>& taskFiles) {
    loading_->wait();
    for (std::size_t i = 0; i < taskFiles.size() && i < files_.size(); ++i) {
        if (files_[i].sha256.empty()) files_[i].sha256 = sha256Of({}); // a file never read
        taskFiles[i].size = files_[i].size;
        taskFiles[i].sha256 = std::move(files_[i].sha256);
    }
}

std::vector<std::string> provenanceLines(const RunRecord& record, std::size_t width) {
    std::vector<std::string> lines;
    const auto add = [&](const std::string& line) { addWrapped(line, width, lines); };
    add(std::string(MadeBy) + record.version + std::string(MadeWith) + isoTime(record.time));
    std::string options(OptionsLine);
    for (const std::string& option : record.options)
        options += (&option == &record.options.front() ? "" : " ") + option;
    add(options);
    if (record.namesFrom != ".")
        add(std::string(NamesFromLine) + shownName(record.namesFrom, true) +
            std::string(NamesFromEnd));
    for (const std::string& folder : record.folders)
        add(std::string(FolderLine) + shownName(folder, true));
    for (const TaskFileRecord& file : record.taskFiles)
        add(std::string(TaskFileLine) + shownName(file.path, true) + ", " +
            std::to_string(file.size) + std::string(SizeAndHash) + file.sha256);
    return lines;
}

std::string provenanceSummary(const RunRecord& record) {
    const std::size_t files = record.taskFiles.size();
    return std::string(MadeBy) + record.version + std::string(MadeWith) + isoTime(record.time) +
           " from " + std::to_string(files) + (files == 1 ? " task file" : " task files");
}

RunRecord recordFromLines(const std::vector<std::string>& lines, const std::string& source) {
    RunRecord record;
    LineParser parser(record);
    for (const std::string& line : rejoined(lines)) {
        if (parser.read(line) || !parser.made()) continue;
        throw RunError(ErrorKind::FileError, "its provenance holds a line that dozorira-batch "
                                             "cannot read: " +
                                                 dozorira::quoted(line))
            .inFile(source);
    }
    if (!parser.made())
        throw RunError(ErrorKind::FileError,
                       "the file holds no provenance of dozorira-batch; verify it with its "
                       "manifest (--manifest)")
            .inFile(source);
    return record;
}

} // namespace dozorira::output
