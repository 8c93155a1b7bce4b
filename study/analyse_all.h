#pragma once

#include "line_reader.h"
#include "result.h"

#include <functional>
#include <span>
#include <string>
#include <vector>

namespace dozorira::study {

// What a run asks of each result beyond the engine's rules; a RunError ends the run at that file.
// A run of many files calls it on several threads at once, each with its own result: it must not
// change what it shares with other calls without a lock, and what it captures must outlive the run.
using ResultCheck = std::function<void(const ParticipantResult&, const std::string& path)>;

// The results of a run's task files, in their order, as reading them one by one gives them: the
// first file in that order that fails ends the run with its error. A run of many files reads them
// on up to as many threads as the machine has cores (four at most), so a few files after a
// failing one may be read too, but never a pipe or a device: those are read by the calling
// thread, in their turn. A result keeps the detail asked for. regularFiles, when not empty,
// tells for each task file whether a look just now found a regular file, so that the threads need
// not look again. taps, when not empty, holds one tap per task file, which sees every byte read of
// it, on whichever thread reads it.
std::vector<ParticipantResult> analyseAll(const std::vector<std::string>& taskFiles,
                                          const ResultCheck& check,
                                          const std::vector<bool>& regularFiles = {},
                                          Detail detail = Detail::Record,
                                          std::span<const ReadTap> taps = {});

} // namespace dozorira::study
