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
        where += dataLinePlace(dataLine_);
        if (field_ >= 0) where += ", field " + std::to_string(field_);
    }
    message_ = where.empty() ? problem_ : where + ": " + problem_;
    message_ += " (";
    message_ += kindName(kind_);
    message_ += ")";
}

std::string dataLinePlace(int dataLine) {
    return "data line " + std::to_string(dataLine) + " (file line " + std::to_string(dataLine + 2) +
           ")";
}

std::string quoted(std::string_view text) {
    constexpr std::size_t shown = 40;
    std::string out = "\"";
    out += printable(text.substr(0, shown));
    if (text.size() > shown) out += "...";
    return out + "\"";
}

std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
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
    return out;
}

} // namespace dozorira
