#include "manifest.h"

#include "error.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

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

json fileEntry(const std::string& path, const PathsFrom& fromManifest) {
    return {{"path", shown(path)}, {"from_manifest", shown(fromManifest(path))}};
}

[[noreturn]] void refuse(const std::string& path, const std::string& why) {
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
            refuse(path_, std::string("it has no text \"") + key + "\"");
        return found->get<std::string>();
    }

    std::string name(const json& object, const char* key) const {
        const std::optional<std::string> name = nameFromShown(text(object, key));
        if (!name) refuse(path_, std::string("its \"") + key + "\" is not a name");
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
            refuse(path_, "it has an entry without its size");
        return found->get<std::uint64_t>();
    }

    const json& list(const char* key) const {
        const auto found = document_.find(key);
        if (found == document_.end() || !found->is_array())
            refuse(path_, std::string("it has no list \"") + key + "\"");
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
        refuse(path, "it is not JSON, nor a sav or dta, which carry their provenance; verify any "
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

std::string manifestText(const RunRecord& run, const std::string& manifestPath,
                         const std::string& outputPath, const std::optional<OutputDigest>& output) {
    const std::string folder = folderOf(manifestPath);
    const PathsFrom fromManifest(folder);
    json document = {{"program", ProgramName},
                     {"version", run.version},
                     {"time", isoTime(run.time)},
                     {"options", run.options},
                     {"run_folder", shown(pathFrom(folder, "."))}};
    json& folders = document["folders"] = json::array();
    for (const std::string& argument : run.folders)
        folders.push_back(fileEntry(argument, fromManifest));
    json& taskFiles = document["task_files"] = json::array();
    for (const TaskFileRecord& file : run.taskFiles) {
        json entry = fileEntry(file.path, fromManifest);
        entry["size"] = file.size;
        entry["sha256"] = file.sha256;
        taskFiles.push_back(std::move(entry));
    }
    document["output"] = nullptr;
    if (output) {
        json entry = fileEntry(outputPath, fromManifest);
        entry["size"] = output->size;
        entry["sha256"] = output->sha256;
        document["output"] = std::move(entry);
    }
    return document.dump(2) + "\n";
}

Manifest readManifest(const std::string& path) {
    const json document = parsed(path);
    const ManifestReader reader(path, document);
    if (reader.text(document, "program") != ProgramName) refuse(path, "another program wrote it");
    Manifest manifest;
    manifest.run.version = reader.text(document, "version");
    const std::optional<std::time_t> time = timeFromIso(reader.text(document, "time"));
    if (!time) refuse(path, "its \"time\" is not a time such as 2023-11-14T22:13:20Z");
    manifest.run.time = *time;
    for (const json& option : reader.list("options")) {
        if (!option.is_string()) refuse(path, "its \"options\" are not all text");
        manifest.run.options.push_back(option.get<std::string>());
    }
    readTaskFiles(reader, manifest);
    const auto output = document.find("output");
    manifest.check = output == document.end() || output->is_null();
    if (!manifest.check) {
        if (!output->is_object()) refuse(path, "its \"output\" is not an entry");
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
