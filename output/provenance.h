#pragma once

#include "line_reader.h"
#include "request.h"

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dozorira::output {

class Sha256Loading;

// The program that writes provenance, as files and manifests name it.
inline constexpr std::string_view ProgramName = "dozorira-batch";

// A task file as a run read it.
struct TaskFileRecord {
    std::string path; // as given; a folder's task file as the folder's path and its own name
    std::uint64_t size = 0;
    std::string sha256; // 64 lowercase hexadecimal digits

    bool operator==(const TaskFileRecord&) const = default;
};

// What a file says of the run that made it: all that shapes its bytes, so that the run can be
// made again, byte for byte, on another machine, in any locale and time zone.
struct RunRecord {
    std::string version;
    std::time_t time = 0;             // the file's timestamp, shown in UTC
    std::vector<std::string> options; // "--format", "sav", "--long": all that shapes the bytes
    // Where the run's relative names start, seen from the output's folder; "." where it names
    // every file by an absolute name, so that the output's place changes none of its bytes.
    std::string namesFrom = ".";
    std::vector<std::string> folders; // the folder arguments, as given
    std::vector<TaskFileRecord> taskFiles;
};

// The options that shape the file the request asks for, each written out, the ones that depend
// on the locale too; with check, those of a --check.
std::vector<std::string> optionsOf(const OutputRequest& request, bool check = false);
// The request that options ask for; a File error, naming where they come from, for options that
// this program does not know.
OutputRequest requestOf(const std::vector<std::string>& options, const std::string& source);

// "2023-11-14T22:13:20Z"; and back, nothing for any other text.
std::string isoTime(std::time_t time);
std::optional<std::time_t> timeFromIso(std::string_view text);

// A name as shownName shows it, quoted or not, read back; nothing when the quotes are broken.
std::optional<std::string> nameFromShown(std::string_view shown);

// The path of to, seen lexically from the folder from; both are as given, relative to the
// working folder or absolute.
std::string pathFrom(const std::string& from, const std::string& to);
// pathFrom for many paths from one folder: the working folder is looked up once.
class PathsFrom {
public:
    explicit PathsFrom(const std::string& folder);
    std::string operator()(const std::string& path) const;

private:
    static bool isPlainRelative(std::string_view path);

    std::filesystem::path work_;   // the working folder
    std::filesystem::path folder_; // both absolute and lexically normal
    // The working folder seen from the folder, to which a plain relative path only adds its own
    // parts; empty where it does not, as where the folder lies inside the working folder.
    std::string workFromFolder_;
};

// The folder of a file as given; "." for a bare name.
std::string folderOf(const std::string& file);

// Whether the record names a task file or folder by a relative name, which a file's notes can
// only tell where to find with the folder the run was made in.
bool hasRelativeNames(const RunRecord& record);

// The record of a run of these task files, at this time, with the request's options; its task
// files still without sizes and hashes.
RunRecord recordOf(const OutputRequest& request, const study::TaskFiles& taskFiles,
                   std::time_t time);

// Every task file's size and SHA-256, taken in from the bytes the run reads anyway, on whichever
// thread reads them.
class TaskFileDigests {
public:
    explicit TaskFileDigests(std::size_t files);
    ~TaskFileDigests();
    TaskFileDigests(const TaskFileDigests&) = delete;
    TaskFileDigests& operator=(const TaskFileDigests&) = delete;

    // One tap per task file, for study::analyseAll.
    std::span<const ReadTap> taps() const { return taps_; }
    // Once the run has read every file, their sizes and hashes go into the record; a File error,
    // naming no task file, when libcrypto could not be loaded.
    void fillIn(std::vector<TaskFileRecord>& taskFiles);

private:
    struct Taken {
        bool begun = false;   // its first piece came
        bool hashing = false; // libcrypto was loaded for it
        std::uint64_t size = 0;
        std::string sha256; // once it has ended
    };
    void take(Taken& file, std::string_view piece);

    std::vector<Taken> files_;
    std::vector<ReadTap> taps_;
    std::unique_ptr<Sha256Loading> loading_; // last, so that it is waited for first
};

// The lines a file carries about the run that made it, each under width bytes (0 for any
// length): a line too long goes on in lines that start with two blanks, and a SHA-256 is never
// cut. SPSS documents hold 80 bytes a line.
std::vector<std::string> provenanceLines(const RunRecord& record, std::size_t width = 0);
// "Made by Dozorira 1.0.0 (dozorira-batch) at ... from 3 task files ...", for a document's
// properties.
std::string provenanceSummary(const RunRecord& record);
// The record that provenance lines hold; a File error naming source when they hold none, or
// not all of one.
RunRecord recordFromLines(const std::vector<std::string>& lines, const std::string& source);

} // namespace dozorira::output
