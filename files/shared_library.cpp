#include "shared_library.h"

#include "error.h"

#include <dlfcn.h>

namespace dozorira {
namespace {

std::string lastError() {
    const char* error = ::dlerror();
    return error ? error : "unknown error";
}

} // namespace

SharedLibrary::SharedLibrary(std::string soname, std::string_view neededFor)
    : soname_(std::move(soname)), handle_(::dlopen(soname_.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (!handle_)
        throw RunError(ErrorKind::FileError, "cannot load " + soname_ + ", which " +
                                                 std::string(neededFor) + ": " + lastError());
}

void* SharedLibrary::symbol(const char* name) const {
    ::dlerror();
    void* found = ::dlsym(handle_, name);
    if (!found)
        throw RunError(ErrorKind::FileError,
                       soname_ + " has no function " + name + ": " + lastError());
    return found;
}

} // namespace dozorira
