// Holds the fast way through a data line against the plain one, for arbitrary bytes: the fast
// splitter must find the line end, the ten fields and their blanks that the plain split finds,
// wherever it takes a line, and must take every usual line; its byte masks must match those found
// without any instruction set's help; and a whole task file must read the same when every line goes
// the plain way, as it does in reads too short to hold a usual line.
#include "error.h"
#include "fields.h"
#include "line_reader.h"
#include "reader.h"
#include "result.h"
#include "scoring.h"
#include "scratch_file.h"
#include "warnings.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

using namespace dozorira;
using namespace dozorira::fuzz;

bool isUsual(std::string_view line, const LineFields& plain) {
    const bool onlyTabs = std::all_of(line.begin(), line.end(), [](char c) {
        return c == '\t' || static_cast<unsigned char>(c) > '\r';
    });
    return onlyTabs && line.size() <= UsualLine::MaxSize && plain.count() == FieldsOfInterest;
}

// The first line of bytes, as a read leaves it in the line reader's buffer.
void checkSplit(std::string_view input) {
    std::string bytes(input);
    bytes += '\r';
    bytes.append(LineReader::ReadAhead, '\0');
    const std::size_t lineEnd = bytes.find('\r');
    const std::string_view line(bytes.data(), lineEnd);
    const LineFields plain(line);
    const bool usual = isUsual(line, plain) && lineEnd < input.size();

    UsualLine fast;
    if (!fast.split(bytes.data(), input.size(), portableLineMasks(bytes.data()))) {
        require(!usual);
        return;
    }
    require(fast.size() == lineEnd);
    std::string_view fields[FieldsOfInterest];
    for (std::string_view& field : fields)
        field = fast.next();
    require(fast.hadTenFields() == usual);
    if (!usual) return;
    for (int i = 0; i < FieldsOfInterest; ++i) {
        require(fields[i].data() == plain[i].data() && fields[i].size() == plain[i].size());
        require(fast.blanksIn(fields[i]) == std::count(fields[i].begin(), fields[i].end(), ' '));
    }
}

// Every set of instructions this machine has finds the masks found without any.
void checkMasks(std::string_view input) {
    for (std::size_t at = 0; at + UsualLine::Reach <= input.size(); ++at) {
        const char* text = input.data() + at;
        const LineMasks portable = portableLineMasks(text).toLineEnd();
        require(lineMasks(text).toLineEnd() == portable);
#if defined(DOZORIRA_AVX2)
        if (avx2Usable()) require(avx2LineMasks(text).toLineEnd() == portable);
#endif
    }
}

// Everything a run takes from a task file, as text: its record's numbers and its warnings, or its
// error.
std::string outcome(ReadSizes sizes) {
    try {
        ClusterTables tables = readTaskFile(scratchFile(), sizes);
        scoreClusters(tables);
        std::string text;
        for (const ClusterResult& c : summarise(tables, scratchFile(), Detail::Trials).clusters)
            for (const long long n :
                 {static_cast<long long>(c.trials), static_cast<long long>(c.boxes),
                  c.meanOpened.count, c.meanWithinErrors.count,
                  static_cast<long long>(c.betweenErrors)})
                text += std::to_string(n) + " ";
        for (const Warning& warning : fileWarnings(tables, scratchFile()))
            text.append("\n").append(warning.message());
        return text;
    } catch (const RunError& e) {
        return e.what();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    checkSplit(input);
    checkMasks(input);
    // Reads of eight bytes hold no usual line, which takes ten bytes at least.
    writeScratch(input);
    require(outcome({}) == outcome({8, 8}));
    return 0;
}
