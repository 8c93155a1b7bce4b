#pragma once

#include <string>
#include <sys/stat.h>
#include <vector>

namespace dozorira::files {

// "nobody", or "user 1234" for a user the system has no name for.
std::string userName(uid_t user);

// Gives the new file `to` exactly what the earlier output `from` had: its owner and group where
// the user may give them, its extended attributes and access-control list, and its mode, and
// nothing that `to` inherited from its folder (a default ACL) that `from` did not have. What
// could not be kept is added to notes, a line each; a failure to keep an attribute or the ACL
// is a File error naming the output.
void keepPermissions(const std::string& name, int from, const struct stat& was, int to,
                     std::vector<std::string>& notes);

} // namespace dozorira::files
