#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace dozorira {

// The kinds of run-time error that end an analysis run, named as researchers have always seen them.
enum class ErrorKind {
    FileError,
    InputPastEndOfFile,
    SubscriptOutOfRange,
    Overflow,
    InvalidArgument,
    DivisionByZero,
};

std::string_view kindName(ErrorKind kind);

// The one error type of the program. It carries what was wrong and, as it travels up, where:
// the task file, its data line and the field, each added by the layer that knows it.
class RunError : public std::exception {
public:
    RunError(ErrorKind kind, std::string problem);

    ErrorKind kind() const { return kind_; }
    const std::string& problem() const { return problem_; }
    const std::string& file() const { return file_; }
    int dataLine() const { return dataLine_; }
    int field() const { return field_; }

    // Whether the error is about a task file itself (its name, its content, or that it cannot
    // be read), which --check would report with every other such file.
    bool aboutTaskFile() const { return aboutTaskFile_; }

    // Each of these keeps an earlier, more precise value.
    RunError& inFile(std::string path);
    RunError& inTaskFile(std::string path);
    RunError& atDataLine(int dataLine);
    RunError& atField(int field);
    // Puts what the problem concerns before it: "cluster 2: " + problem.
    RunError& concerning(std::string_view what);

    // Whether an output had already taken the new study when this went wrong, so that the earlier
    // output is gone; the message then says what the output holds.
    bool outputChanged() const { return outputChanged_; }
    RunError& afterOutputChanged() {
        outputChanged_ = true;
        return *this;
    }

    // "FILE: data line N (file line N+2), field F: PROBLEM (KIND)", leaving out what is unknown.
    const char* what() const noexcept override { return message_.c_str(); }

private:
    void compose();

    ErrorKind kind_;
    std::string problem_;
    std::string file_;
    int dataLine_ = 0;
    int field_ = -1;
    bool outputChanged_ = false;
    bool aboutTaskFile_ = false;
    std::string message_;
};

// "data line N (file line N+2)": a data line, and the line an editor shows it on.
std::string dataLinePlace(int dataLine);

// A short, printable excerpt of input text for an error message.
std::string quoted(std::string_view text);

// A file name as a message shows it, so that the message stays on one line: as it is when it is
// valid UTF-8 without control characters, '"' or '\\'; otherwise in double quotes with C escapes
// (\n, \t, \r, \\, \" and \xNN for other control bytes and for bytes that are not UTF-8).
// alwaysQuoted puts even a plain name in quotes, as a name inside a sentence needs.
std::string shownName(std::string_view name, bool alwaysQuoted = false);

// The whole text with its control characters written as \xNN, so that it stays on one line.
std::string printable(std::string_view text);

} // namespace dozorira
