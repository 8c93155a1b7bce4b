#pragma once

#include "error.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include <string_view>

namespace dozorira::test {

// A fresh folder for one test, removed with everything in it afterwards.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string path(std::string_view name) const;
    std::string write(std::string_view name, std::string_view content) const;

private:
    std::filesystem::path root_;
};

std::string readFile(const std::string& path);

// The RunError that action throws. When it throws none, the test fails and a placeholder comes
// back whose message says so, so that the checks on it fail too.
template <typename Action> RunError runErrorOf(Action&& action) {
    try {
        action();
    } catch (const RunError& e) {
        return e;
    }
    ADD_FAILURE() << "no RunError was thrown";
    return RunError(ErrorKind::FileError, "(no RunError was thrown)");
}

// One data line of a task file with the fields that matter; the rest hold plausible text.
std::string dataLine(std::string_view row, std::string_view boxes, std::string_view found,
                     std::string_view open, std::string_view opened,
                     std::string_view revisits = "");

// A task file: two header lines and the given data lines, every line ended with CR LF.
std::string taskFile(std::initializer_list<std::string> lines);

// A task file of one cluster of three trials whose record is known by heart, and that record
// after its subject: 3 trials, 6 boxes, 14/3 boxes opened, 1/3 within-search and 3
// between-search errors.
std::string workedTaskFile();
inline constexpr const char* WorkedRecordFields = "\t 1 \t 3 \t 6 \t4.667\t0.333\t3.000\t\r\r\n";

} // namespace dozorira::test
