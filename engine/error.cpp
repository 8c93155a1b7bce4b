#include "error.h"

#include <utility>

namespace dozorira {
namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";

void appendHexByte(std::string& out, unsigned char byte) {
    out += "\\x";
    out += HexDigits[byte >> 4];
    out += HexDigits[byte & 15];
}

// The lead bytes of multi-byte UTF-8 and what their second byte may be; the ranges leave out
// overlong forms, surrogates, code points beyond U+10FFFF and the C1 controls U+0080..U+009F.
struct Utf8Lead {
    unsigned char first, last;
    std::size_t length;
    unsigned char secondMin, secondMax;
};
constexpr Utf8Lead Utf8Leads[] = {
    {0xC2, 0xC2, 2, 0xA0, 0xBF}, {0xC3, 0xDF, 2, 0x80, 0xBF}, {0xE0, 0xE0, 3, 0xA0, 0xBF},
    {0xE1, 0xEC, 3, 0x80, 0xBF}, {0xED, 0xED, 3, 0x80, 0x9F}, {0xEE, 0xEF, 3, 0x80, 0xBF},
    {0xF0, 0xF0, 4, 0x90, 0xBF}, {0xF1, 0xF3, 4, 0x80, 0xBF}, {0xF4, 0xF4, 4, 0x80, 0x8F},
};

// The length of the character that text starts with when a name may show it as it is: valid
// UTF-8, no control character, no '"' and no '\\'. 0 when it must be escaped.
std::size_t plainCharacterLength(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return lead < 0x20 || lead == 0x7F || lead == '"' || lead == '\\' ? 0 : 1;
    for (const Utf8Lead& l : Utf8Leads) {
        if (lead < l.first || lead > l.last) continue;
        if (text.size() < l.length || byte(1) < l.secondMin || byte(1) > l.secondMax) return 0;
        for (std::size_t i = 2; i < l.length; ++i)
            if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
        return l.length;
    }
    return 0;
}

bool isPlainName(std::string_view name) {
    for (std::size_t at = 0; at < name.size();) {
        const std::size_t length = plainCharacterLength(name.substr(at));
        if (length == 0) return false;
        at += length;
    }
    return true;
}

void appendEscaped(std::string& out, unsigned char byte) {
    switch (byte) {
    case '\n': out += "\\n"; break;
    case '\t': out += "\\t"; break;
    case '\r': out += "\\r"; break;
    case '\\': out += "\\\\"; break;
    case '"': out += "\\\""; break;
    default: appendHexByte(out, byte);
    }
}

} // namespace

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

RunError& RunError::inTaskFile(std::string path) {
    if (file_.empty()) aboutTaskFile_ = true;
    return inFile(std::move(path));
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

RunError& RunError::concerning(std::string_view what) {
    problem_.insert(0, std::string(what) + ": ");
    compose();
    return *this;
}

void RunError::compose() {
    std::string where = shownName(file_);
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
        if (byte < 32 || byte == 127)
            appendHexByte(out, byte);
        else
            out += c;
    }
    return out;
}

std::string shownName(std::string_view name, bool alwaysQuoted) {
    const bool plain = isPlainName(name);
    if (plain && !alwaysQuoted) return std::string(name);
    std::string out = "\"";
    for (std::size_t at = 0; at < name.size();) {
        const std::size_t length = plain ? name.size() : plainCharacterLength(name.substr(at));
        if (length > 0) {
            out += name.substr(at, length);
            at += length;
        } else {
            appendEscaped(out, static_cast<unsigned char>(name[at++]));
        }
    }
    out += '"';
    return out;
}

} // namespace dozorira
