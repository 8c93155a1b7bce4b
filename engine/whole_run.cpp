#include "whole_run.h"

#include "error.h"
#include "run.h"

namespace dozorira {
namespace {

// The length of the UTF-8 sequence that starts at text[at], 0 when it is malformed.
std::size_t utf8SequenceLength(std::string_view text, std::size_t at) {
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80;  // the bounds of the second byte, which rule out overlong forms,
    unsigned char high = 0xBF; // surrogates and code points past U+10FFFF
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    }
    if (length == 0 || at + length > text.size()) return 0;
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (std::size_t i = at + 2; i < at + length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    return length;
}

std::vector<ParticipantResult> analyseAll(const std::vector<std::string>& taskFiles,
                                          bool utf8Subjects) {
    std::vector<ParticipantResult> results;
    results.reserve(taskFiles.size());
    for (const std::string& path : taskFiles) {
        results.push_back(analyseTaskFile(path));
        if (utf8Subjects && !isUtf8(results.back().subject))
            throw RunError(ErrorKind::InvalidArgument,
                           "the file name is not UTF-8 text, which SPSS and Stata files need for "
                           "the subject; rename the task file")
                .inFile(path);
    }
    return results;
}

} // namespace

bool isUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = utf8SequenceLength(text, at);
        if (length == 0) return false;
        at += length;
    }
    return true;
}

void runWhole(const std::string& outputPath, const std::vector<std::string>& taskFiles,
              WholeRunOptions options, const TableRenderer& render) {
    refuseTaskFileAsOutput(outputPath, taskFiles);
    const ResultTable table(analyseAll(taskFiles, options.utf8Subjects), options.layout);
    WholeFile output(outputPath);
    render(table, output);
    output.commit();
}

} // namespace dozorira
