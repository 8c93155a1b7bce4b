#include "permissions.h"

#include "descriptor.h"
#include "error.h"
#include "record_file.h"
#include "shared_library.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <pwd.h>
#include <string_view>
#include <sys/acl.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace dozorira::files {
namespace {

constexpr const char* AccessAcl = "system.posix_acl_access";
constexpr std::string_view AclPrefix = "system.posix_acl_";

// The functions of libacl that keeping an access-control list calls; loaded by the first run
// that meets such a list, so that every other run starts without it.
struct Acl {
    decltype(&acl_get_fd) get = nullptr;
    decltype(&acl_set_fd) set = nullptr;
    decltype(&acl_free) free = nullptr;

    explicit Acl(const SharedLibrary& library) {
        library.find("acl_get_fd", get);
        library.find("acl_set_fd", set);
        library.find("acl_free", free);
    }
};

const Acl& acl() {
    static const SharedLibrary library(DOZORIRA_ACL_SONAME,
                                       "keeps the access-control list of an output it replaces");
    static const Acl functions(library);
    return functions;
}

bool hasAccessAcl(int fd) {
    return ::fgetxattr(fd, AccessAcl, nullptr, 0) >= 0;
}

// The ACL of `from`, or the one its mode stands for when it has none; the new file's inherited
// one goes either way.
void keepAccessAcl(const std::string& name, int from, int to) {
    if (!hasAccessAcl(from) && !hasAccessAcl(to)) return;
    acl_t list = acl().get(from);
    if (list == nullptr) failOutput(name, "cannot read the access-control list of", errno);
    const int set = acl().set(to, list);
    const int error = errno;
    acl().free(list);
    if (set != 0) failOutput(name, "cannot keep the access-control list of", error);
}

// The names of a file's extended attributes, each ended by a NUL; empty where there are none or
// the file system has none.
std::string attributeNames(int fd) {
    for (;;) {
        const ssize_t size = ::flistxattr(fd, nullptr, 0);
        if (size <= 0) return {};
        std::string names(static_cast<std::size_t>(size), '\0');
        const ssize_t got = ::flistxattr(fd, names.data(), names.size());
        if (got >= 0) return names.substr(0, static_cast<std::size_t>(got));
        if (errno != ERANGE) return {}; // the list grew meanwhile: read it again
    }
}

std::vector<std::string> split(const std::string& names) {
    std::vector<std::string> list;
    for (std::size_t at = 0; at < names.size(); at += std::strlen(names.c_str() + at) + 1)
        list.emplace_back(names.c_str() + at);
    return list;
}

void keepAttributes(const std::string& name, int from, int to) {
    const std::vector<std::string> kept = split(attributeNames(from));
    std::string value;
    for (const std::string& attribute : kept) {
        if (attribute.starts_with(AclPrefix)) continue;
        const ssize_t length = ::fgetxattr(from, attribute.c_str(), nullptr, 0);
        value.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
        if (length < 0 || ::fgetxattr(from, attribute.c_str(), value.data(), value.size()) < 0 ||
            ::fsetxattr(to, attribute.c_str(), value.data(), value.size(), 0) != 0)
            failOutput(name, "cannot keep the extended attribute " + attribute + " of", errno);
    }
    // What the new file was given by its folder and the earlier output did not have.
    for (const std::string& attribute : split(attributeNames(to)))
        if (!attribute.starts_with(AclPrefix) &&
            std::find(kept.begin(), kept.end(), attribute) == kept.end())
            ::fremovexattr(to, attribute.c_str());
}

// The owner and group, as far as the user may give them: a user who is not root keeps the file
// as theirs, and the group where they belong to it.
void keepOwner(const std::string& name, const struct stat& was, int to,
               std::vector<std::string>& notes) {
    struct stat made {};
    if (::fstat(to, &made) != 0) failOutput(name, "cannot create", errno);
    if (made.st_uid == was.st_uid && made.st_gid == was.st_gid) return;
    if (::fchown(to, was.st_uid, was.st_gid) == 0) return;
    const bool groupKept = made.st_gid == was.st_gid || ::fchown(to, -1, was.st_gid) == 0;
    if (made.st_uid == was.st_uid && groupKept) return;
    std::string note = shownName(name) + ": the output belonged to " + userName(was.st_uid);
    if (!groupKept) note += " and its group";
    note += "; the new study is yours";
    if (!groupKept) note += " and your group's";
    notes.push_back(note + ", with the earlier mode" + (groupKept ? ", group" : "") +
                    ", access-control list and extended attributes");
}

} // namespace

std::string userName(uid_t user) {
    passwd entry{};
    passwd* found = nullptr;
    std::string buffer(4096, '\0');
    if (::getpwuid_r(user, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr)
        return found->pw_name;
    return "user " + std::to_string(user);
}

void keepPermissions(const std::string& name, int from, const struct stat& was, int to,
                     std::vector<std::string>& notes) {
    keepOwner(name, was, to, notes); // before the mode: a change of owner clears set-ID bits
    keepAttributes(name, from, to);
    keepAccessAcl(name, from, to);
    if (::fchmod(to, was.st_mode & 07777) != 0) failOutput(name, "cannot create", errno);
}

} // namespace dozorira::files
