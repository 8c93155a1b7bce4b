#pragma once

#include <ostream>
#include <string>

namespace dozorira::output {

// Whether a published file still matches the task files it was made from. path is a manifest
// (--manifest), or a .sav or .dta whose notes hold its provenance. The task files it names are
// found from the manifest's folder, or from the output's, and hashed; when they are all there,
// the recorded run is made again in memory and its bytes compared with the output's. Nothing is
// written. report gets one line per problem (a task file missing, changed or added to a folder,
// the output missing or not what its task files give) and then one line that says whether the
// file matches. A RunError when the manifest or the file cannot be read as one.
bool verify(const std::string& path, std::ostream& report);

} // namespace dozorira::output
