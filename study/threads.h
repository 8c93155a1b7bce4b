#pragma once

#include <cstddef>
#include <functional>

namespace dozorira::study {

// How many threads a run of this many task files is worth: one per core, four at most, and only
// one for every few dozen files, below which a thread costs more than it saves.
unsigned threadsFor(std::size_t files);

// Runs work on that many threads, the calling thread among them, and returns once all are done.
// Where the system gives fewer threads, the ones there are do the work. work must not throw.
void onThreads(unsigned threads, const std::function<void()>& work);

} // namespace dozorira::study
