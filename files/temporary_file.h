#pragma once

#include "descriptor.h"

#include <csignal>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace dozorira::files {

// A new file in a folder that no one else sees until it is put in an output's place. Where the
// file system can make unnamed files (O_TMPFILE) it has no name at all, and nothing of it
// outlives the program. Elsewhere (NFS, FUSE, vfat, an older overlayfs, or no /proc to link an
// unnamed file by) it is named ".dozorira-" and twelve hex digits ".tmp", made 0600 with O_EXCL,
// and removed by this object on every error and by the ending signals (those not ignored, only
// while it exists, the earlier handlers restored after). Either kind is locked (flock) for as
// long as its run lives, so that the next run into the folder removes what a kill -9 left
// (removeLeftovers) and never a live run's file. Failures are kept in error(), not thrown, so
// that the caller words them.
class TemporaryFile {
public:
    // unnamedMode is the mode an unnamed file is made with (umask applies); a named one is 0600.
    // folder must stay open as long as this object lives; folderPath names it for libraries.
    TemporaryFile(int folder, std::string folderPath, mode_t unnamedMode);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int error() const { return error_; }
    int fd() const { return file_.get(); }
    bool named() const { return slot_ >= 0; }
    int folder() const { return folder_; }

    // A path by which a library that writes only by name can create or truncate this file.
    std::string path() const;
    // Renames a named file to `to` in its folder, in one step that no signal interrupts; 0, or
    // the reason it failed. It is no longer removed afterwards.
    int renameTo(const std::string& to);

private:
    bool createNamed();

    Descriptor file_;
    int folder_;
    std::string folderPath_;
    int slot_ = -1; // where the ending signals find its name
    int error_ = 0;
};

// Removes the temporary files in folder whose run has ended: those that no live run holds
// locked. Files it may not open or lock are left alone.
void removeLeftovers(int folder);

// Whether a name is one a TemporaryFile takes, or a renaming child gives for a moment.
bool isTemporaryName(std::string_view name);
std::string temporaryName();

// Holds every signal that can be held for as long as it lives, in this thread.
class HeldSignals {
public:
    HeldSignals();
    ~HeldSignals();
    HeldSignals(const HeldSignals&) = delete;
    HeldSignals& operator=(const HeldSignals&) = delete;

private:
    sigset_t saved_{};
};

} // namespace dozorira::files
