#pragma once

#include <string>

namespace dozorira::files {

// How putting an unnamed file in an output's place went.
struct Replacement {
    int error = 0;         // why the output was not replaced; 0 when it was
    int killedBy = 0;      // the signal that killed the renaming child, if one did
    bool replaced = false; // the output's name now leads to the new file
};

// Puts the unnamed file `file` in the place of the entry `name` of `folder`. A file cannot be
// renamed without a name of its own, and that name would outlive a program killed between the
// link and the rename; a child process makes both, and finishes them even when this program, or
// its whole process group, is killed meanwhile. Where no child can be started (a process limit),
// both happen in this process with every signal held.
Replacement replaceByLink(int file, int folder, const std::string& name);

// Gives the unnamed file `file` the name `name` in folder; 0, or the reason it failed.
int linkUnnamed(int file, int folder, const std::string& name);

} // namespace dozorira::files
