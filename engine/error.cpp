#include "error.h"

#include <utility>

namespace dozorira {

std::string_view kindName(ErrorKind kind) {
    switch (kind) {
    case ErrorKind::FileError: return "File error";
    case ErrorKind::InputPastEndOfFile: return "Input past end of file";
    case ErrorKind::SubscriptOutOfRange: return "Subscript out of range";
    case ErrorKind::Overflow: return "Overflow";
    case ErrorKind::InvalidArgument: return "Invalid argument";
    case ErrorKind::DivisionByZero: return "Division by zero";
    }
    return "Error";
}

RunError::RunError(ErrorKind kind, std::string problem)
    : kind_(kind), problem_(std::move(problem)) {
    compose();
}

RunError& RunError::inFile(std::string path) {
    if (file_.empty()) file_ = std::move(path);
    compose();
    return *this;
}

RunError& RunError::atDataLine(int dataLine) {
    if (dataLine_ == 0) dataLine_ = dataLine;
    compose();
    return *this;
}

RunError& RunError::atField(int field) {
    if (field_ < 0) field_ = field;
    compose();
    return *this;
}

void RunError::compose() {
    std::string where = file_;
    if (dataLine_ > 0) {
        if (!where.empty()) where += ": ";
        where += "data line " + std::to_string(dataLine_) + " (file line " +
                 std::to_string(dataLine_ + 2) + ")";
        if (field_ >= 0) where += ", field " + std::to_string(field_);
    }
    message_ = where.empty() ? problem_ : where + ": " + problem_;
    message_ += " (";
    message_ += kindName(kind_);
    message_ += ")";
}

std::string quoted(std::string_view text) {
    constexpr std::size_t shown = 40;
    std::string out = "\"";
    for (char c : text.substr(0, shown)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 32 || byte == 127) {
            constexpr char hex[] = "0123456789ABCDEF";
            out += "\\x";
            out += hex[byte >> 4];
            out += hex[byte & 15];
        } else {
            out += c;
        }
    }
    if (text.size() > shown) out += "...";
    return out + "\"";
}

} // namespace dozorira
