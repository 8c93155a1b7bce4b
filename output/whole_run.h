#pragma once

#include "provenance.h"
#include "whole_file.h"

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace dozorira::output {

// The file that a run of the record's options, at its time, writes of the task files at paths
// (the record's task files, wherever they are now), made in memory; nothing is written. The
// record's task files get the sizes and hashes of the bytes read. name is the output as
// messages name it.
std::string writeInMemory(RunRecord& record, const std::vector<std::string>& paths,
                          const std::string& name);

// The manifest of a --check, when the request asks for one: its place is found before any task
// file is read (never the report's), and it is written, whole, once every task file has passed.
class CheckManifest {
public:
    CheckManifest(const OutputRequest& request, const study::TaskFiles& taskFiles,
                  const files::OutputTarget* report);
    ~CheckManifest();
    CheckManifest(const CheckManifest&) = delete;
    CheckManifest& operator=(const CheckManifest&) = delete;

    // What sees the bytes of each task file as the check reads them; none without a manifest.
    std::span<const ReadTap> taps() const;
    // The manifest, written, for the run to put in place; nothing without a manifest.
    files::WholeFile* written();

private:
    std::optional<files::WholeFile> file_;
    std::string path_;
    RunRecord record_;
    std::unique_ptr<TaskFileDigests> digests_;
};

} // namespace dozorira::output
