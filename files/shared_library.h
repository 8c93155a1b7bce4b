#pragma once

#include <string>
#include <string_view>

namespace dozorira {

// A shared library that only some runs need: it is opened by the first of them, so that every
// other run starts without loading it, and stays open until the program ends.
class SharedLibrary {
public:
    // A File error naming the library and what it is needed for when it cannot be opened.
    SharedLibrary(std::string soname, std::string_view neededFor);
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // The library's function called name, of the type of Function; a File error when the library
    // has none of that name.
    template <typename Function> void find(const char* name, Function*& function) const {
        function = reinterpret_cast<Function*>(symbol(name));
    }

private:
    void* symbol(const char* name) const;

    std::string soname_;
    void* handle_;
};

} // namespace dozorira
