#pragma once

#include "provenance.h"
#include "whole_file.h"

#include <optional>
#include <string>
#include <vector>

namespace dozorira::output {

// A finished output file as a manifest records it.
struct OutputDigest {
    std::uint64_t size = 0;
    std::string sha256;
};

// What a manifest says of a run: its record, and where each of its files lies, seen from the
// manifest's folder, so that a study folder moved elsewhere can still be verified.
struct Manifest {
    RunRecord run; // its namesFrom seen from the output's folder, as the output's notes have it
    std::vector<std::string> folders;   // each of run.folders, from the manifest's folder
    std::vector<std::string> taskFiles; // each of run.taskFiles, from the manifest's folder
    bool check = false;                 // made by --check: no output
    std::string output;                 // as given
    std::string outputFromManifest;
    OutputDigest outputDigest;
};

// Writes the manifest of a run into out, as JSON: the program, its version, the time, the
// options, every task file (its path as given and from the manifest's folder, its size and
// SHA-256) and the output (its path, size and SHA-256), which a run of --check has not.
void writeManifest(const RunRecord& run, const std::string& manifestPath,
                   const std::string& outputPath, const std::optional<OutputDigest>& output,
                   files::WholeFile& out);

// The manifest at path, which a File error refuses when it is not one that dozorira-batch
// wrote. Paths in it are turned into paths from the working folder.
Manifest readManifest(const std::string& path);

} // namespace dozorira::output
