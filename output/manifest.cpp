#include "manifest.h"

#include "error.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

namespace dozorira::output {
namespace {

namespace fs = std::filesystem;
// Keys in the order written, so that a reader finds the program first and the output last.
using json = nlohmann::ordered_json;

// Names go into the manifest as messages show them, so that a name that is not UTF-8, which
// JSON cannot hold, is written with escapes; nameFromShown reads them back.
std::string shown(const std::string& name) {
    return shownName(name);
}

// A JSON document written as it is made, laid out as nlohmann's dump(2) lays out the same
// document held whole, so that the manifest's bytes do not depend on how it was made: an object
// or a list on lines of their own, each member or item on a line of its own, indented by two
// blanks a level, an empty list as []. nlohmann-json writes only a document held whole, which
// for 10 000 task files would be megabytes of values built only to be written once; here only the
// frame is written by hand, and every text that JSON must escape is nlohmann's.
class StreamedJson {
public:
    explicit StreamedJson(files::WholeFile& out) : out_(out), text_("{"), filled_{false} {}

    void member(std::string_view key, std::string_view text) {
        startLine(key);
        // Most texts (hashes, times, most names) hold nothing to escape, and go between quotes
        // as nlohmann would put them, which saves a call of its serializer (ten times their
        // cost) on each of them.
        if (std::all_of(text.begin(), text.end(),
                        [](char c) { return c >= ' ' && c <= '~' && c != '"' && c != '\\'; })) {
            text_ += '"';
            text_ += text;
            text_ += '"';
        } else {
            text_ += json(text).dump();
        }
    }
    void member(std::string_view key, std::uint64_t number) {
        startLine(key);
        text_ += std::to_string(number);
    }
    void member(std::string_view key, std::nullptr_t) {
        startLine(key);
        text_ += "null";
    }
    void item(std::string_view text) { member({}, text); }
    void openObject(std::string_view key = {}) { open(key, '{'); }
    void openList(std::string_view key) { open(key, '['); }

    // Closes the innermost object or list; an empty one stays on its line.
    void close() {
        const char bracket = brackets_.back();
        const bool empty = !filled_.back();
        brackets_.pop_back();
        filled_.pop_back();
        if (!empty) {
            text_ += '\n';
            text_.append(Indent * filled_.size(), ' ');
        }
        text_ += bracket;
        if (text_.size() > FlushAt) flush();
    }

    // Closes the document, which ends in a line feed, and writes what is left.
    void end() {
        text_ += "\n}\n";
        flush();
    }

private:
    static constexpr std::size_t Indent = 2;
    static constexpr std::size_t FlushAt = 16384;

    // A new line in the innermost object or list, after a comma when it is not the first.
    void startLine(std::string_view key) {
        text_ += filled_.back() ? ",\n" : "\n";
        filled_.back() = true;
        text_.append(Indent * filled_.size(), ' ');
        if (key.empty()) return;
        text_ += '"'; // the keys are this file's own words, which JSON needs not escape
        text_ += key;
        text_ += "\": ";
    }

    void open(std::string_view key, char bracket) {
        startLine(key);
        text_ += bracket;
        brackets_.push_back(bracket == '{' ? '}' : ']');
        filled_.push_back(false);
    }

    void flush() {
        out_.write(text_);
        text_.clear();
    }

    files::WholeFile& out_;
    std::string text_;           // written once it grows past FlushAt, so that it stays small
    std::vector<char> brackets_; // the closing bracket of each object and list not closed yet
    std::vector<bool> filled_;   // for the document and each of them: whether it has a member
};

void writeNames(StreamedJson& manifest, const std::string& path, const PathsFrom& fromManifest) {
    manifest.member("path", shown(path));
    manifest.member("from_manifest", shown(fromManifest(path)));
}

[[noreturn]] void refuseManifest(const std::string& path, const std::string& why) {
    throw RunError(ErrorKind::FileError,
                   "the file is not a manifest that dozorira-batch wrote: " + why)
        .inFile(path);
}

// A name from the manifest; a relative one is taken from the manifest's folder.
class ManifestReader {
public:
    ManifestReader(const std::string& path, const json& document)
        : path_(path), folder_(folderOf(path)), document_(document) {}

    std::string text(const json& object, const char* key) const {
        const auto found = object.find(key);
        if (found == object.end() || !found->is_string())
            refuseManifest(path_, std::string("it has no text \"") + key + "\"");
        return found->get<std::string>();
    }

    std::string name(const json& object, const char* key) const {
        const std::optional<std::string> name = nameFromShown(text(object, key));
        if (!name) refuseManifest(path_, std::string("its \"") + key + "\" is not a name");
        return *name;
    }

    // Where a name from the manifest's folder is, seen from the working folder.
    std::string located(const json& object) const {
        const fs::path from = name(object, "from_manifest");
        return from.is_absolute() ? from.string()
                                  : (fs::path(folder_) / from).lexically_normal().string();
    }

    std::uint64_t size(const json& object) const {
        const auto found = object.find("size");
        if (found == object.end() || !found->is_number_unsigned())
            refuseManifest(path_, "it has an entry without its size");
        return found->get<std::uint64_t>();
    }

    const json& list(const char* key) const {
        const auto found = document_.find(key);
        if (found == document_.end() || !found->is_array())
            refuseManifest(path_, std::string("it has no list \"") + key + "\"");
        return *found;
    }

    const std::string& folder() const { return folder_; }

private:
    const std::string& path_;
    std::string folder_;
    const json& document_;
};

json parsed(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw RunError(ErrorKind::FileError,
                       "cannot open the manifest: " + std::generic_category().message(errno))
            .inFile(path);
    json document = json::parse(file, nullptr, false);
    if (document.is_discarded() || !document.is_object())
        refuseManifest(path,
                       "it is not JSON, nor a sav or dta, which carry their provenance; verify any "
                       "other output with its manifest");
    return document;
}

void readTaskFiles(const ManifestReader& reader, Manifest& manifest) {
    for (const json& folder : reader.list("folders")) {
        manifest.run.folders.push_back(reader.name(folder, "path"));
        manifest.folders.push_back(reader.located(folder));
    }
    for (const json& file : reader.list("task_files")) {
        manifest.run.taskFiles.push_back(
            {reader.name(file, "path"), reader.size(file), reader.text(file, "sha256")});
        manifest.taskFiles.push_back(reader.located(file));
    }
}

void readOutput(const ManifestReader& reader, const json& output, Manifest& manifest) {
    manifest.output = reader.name(output, "path");
    manifest.outputFromManifest = reader.located(output);
    manifest.outputDigest = {reader.size(output), reader.text(output, "sha256")};
}

} // namespace

void writeManifest(const RunRecord& run, const std::string& manifestPath,
                   const std::string& outputPath, const std::optional<OutputDigest>& output,
                   files::WholeFile& out) {
    const std::string folder = folderOf(manifestPath);
    const PathsFrom fromManifest(folder);
    StreamedJson manifest(out);
    manifest.member("program", ProgramName);
    manifest.member("version", run.version);
    manifest.member("time", isoTime(run.time));
    manifest.openList("options");
    for (const std::string& option : run.options)
        manifest.item(option);
    manifest.close();
    manifest.member("run_folder", shown(pathFrom(folder, ".")));
    manifest.openList("folders");
    for (const std::string& argument : run.folders) {
        manifest.openObject();
        writeNames(manifest, argument, fromManifest);
        manifest.close();
    }
    manifest.close();
    manifest.openList("task_files");
    for (const TaskFileRecord& file : run.taskFiles) {
        manifest.openObject();
        writeNames(manifest, file.path, fromManifest);
        manifest.member("size", file.size);
        manifest.member("sha256", file.sha256);
        manifest.close();
    }
    manifest.close();
    if (!output) {
        manifest.member("output", nullptr);
    } else {
        manifest.openObject("output");
        writeNames(manifest, outputPath, fromManifest);
        manifest.member("size", output->size);
        manifest.member("sha256", output->sha256);
        manifest.close();
    }
    manifest.end();
}

Manifest readManifest(const std::string& path) {
    const json document = parsed(path);
    const ManifestReader reader(path, document);
    if (reader.text(document, "program") != ProgramName)
        refuseManifest(path, "another program wrote it");
    Manifest manifest;
    manifest.run.version = reader.text(document, "version");
    const std::optional<std::time_t> time = timeFromIso(reader.text(document, "time"));
    if (!time) refuseManifest(path, "its \"time\" is not a time such as 2023-11-14T22:13:20Z");
    manifest.run.time = *time;
    for (const json& option : reader.list("options")) {
        if (!option.is_string()) refuseManifest(path, "its \"options\" are not all text");
        manifest.run.options.push_back(option.get<std::string>());
    }
    readTaskFiles(reader, manifest);
    const auto output = document.find("output");
    manifest.check = output == document.end() || output->is_null();
    if (!manifest.check) {
        if (!output->is_object()) refuseManifest(path, "its \"output\" is not an entry");
        readOutput(reader, *output, manifest);
        if (!hasRelativeNames(manifest.run)) return manifest;
        // The output's notes name the task files from the run's folder, seen from the output's.
        const std::string runFolder =
            (fs::path(reader.folder()) / reader.name(document, "run_folder")).string();
        manifest.run.namesFrom = pathFrom(folderOf(manifest.outputFromManifest), runFolder);
    }
    return manifest;
}

} // namespace dozorira::output
