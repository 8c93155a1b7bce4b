#include "reader.h"

#include "fields.h"
#include "line_reader.h"
#include "number.h"
#include "scoring.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

namespace dozorira {
namespace {

[[noreturn]] void failMissingField(std::string_view line, int count, int index) {
    // A blank line, most often the last of the file, is no trial whose fields went missing.
    if (line.find_first_not_of(' ') == std::string_view::npos)
        throw RunError(ErrorKind::SubscriptOutOfRange,
                       "a blank data line, where a data line needs at least " +
                           std::to_string(MinFieldsPerLine) + " fields: delete it");
    throw RunError(ErrorKind::SubscriptOutOfRange,
                   "the line has " + std::to_string(count) + " field" + (count == 1 ? "" : "s") +
                       ", a data line needs at least " + std::to_string(MinFieldsPerLine))
        .atField(index);
}

// Field index of a data line; a line too short fails, naming the field.
std::string_view field(const LineFields& fields, int index) {
    if (index >= fields.count()) failMissingField(fields.line(), fields.count(), index);
    return fields[index];
}

inline std::string_view trimBlanks(std::string_view text) {
    if (text.empty() || (text.front() != ' ' && text.back() != ' ')) return text;
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// A numeric field of one to three digits, as nearly every numeric field is, read as the number
// rule reads it; -1 for any other field, which only the plain way reads.
inline int smallNumber(std::string_view text) {
    const auto digit = [&text](std::size_t at) { return static_cast<unsigned>(text[at] - '0'); };
    switch (text.size()) {
    case 1: return digit(0) <= 9 ? static_cast<int>(digit(0)) : -1;
    case 2: return digit(0) <= 9 && digit(1) <= 9 ? static_cast<int>(digit(0) * 10 + digit(1)) : -1;
    case 3:
        return digit(0) <= 9 && digit(1) <= 9 && digit(2) <= 9
                   ? static_cast<int>(digit(0) * 100 + digit(1) * 10 + digit(2))
                   : -1;
    default: return -1;
    }
}

// What a data line gives its cluster and its trial, besides its row number.
struct LineValues {
    std::string_view label;     // field 1
    std::uint8_t boxes = 0;     // field 2
    std::uint8_t code = 0;      // field 3
    std::string_view found;     // field 4, blanks trimmed
    std::uint8_t openCount = 0; // field 6
    std::string_view opened;    // field 7
    int withinErrors = 0;       // of field 9
    std::size_t size = 0;       // of the whole line, for the fast way
};

static_assert(UsualLine::Reach <= LineReader::ReadAhead,
              "the fast way reads no further than it may");

class TaskFileReader {
public:
    TaskFileReader(const std::string& path, ReadSizes sizes, Opening opening, const ReadTap* tap)
        : file_(path, sizes, opening, tap), tables_(ClusterTables::forReading()) {
        // The clusters never move, so that current_ stays valid.
        current_ = &tables_.cluster(0);
    }

    bool isOpen() const { return file_.isOpen(); }

    ClusterTables read() {
        skipHeader(1);
        skipHeader(2);
        for (;;) {
            // The next read overwrites the bytes that the kept label is in.
            if (file_.unread().empty()) settleLabel();
            if (file_.atEnd()) break;
            try {
                readUsualLines();
                if (file_.unread().empty()) continue;
                ++dataLine_;
                settleLabel();
                readAnyLine(file_.readLine());
            } catch (RunError& e) {
                throw e.atDataLine(dataLine_);
            }
        }
        finishCluster();
        try {
            closeCluster(lastRow_);
        } catch (RunError& e) {
            throw e.atDataLine(dataLine_);
        }
        return std::move(tables_);
    }

private:
    void skipHeader(int number) {
        if (file_.atEnd()) {
            // A file saved by an editor of another system is one long line of line feeds.
            if (number == 2 && tables_.headerHoldsLineFeed[0])
                throw RunError(ErrorKind::InputPastEndOfFile,
                               "its lines end in LF only; a task file's lines end in CR LF");
            throw RunError(ErrorKind::InputPastEndOfFile,
                           "the file ends before header line " + std::to_string(number) +
                               "; a task file starts with two header lines");
        }
        try {
            tables_.headerHoldsLineFeed[static_cast<std::size_t>(number - 1)] = file_.skipLine();
        } catch (RunError& e) {
            throw e.concerning("header line " + std::to_string(number));
        }
    }

    void checkLineCount() const {
        if (dataLine_ > MaxDataLines)
            throw RunError(ErrorKind::SubscriptOutOfRange, "a task file holds at most " +
                                                               std::to_string(MaxDataLines) +
                                                               " data lines");
    }

    // The fast way, for the usual lines with small numbers that follow one another in the bytes
    // read, which is nearly every line: nothing in them can fail but what fails in the plain way
    // at the same point too. Stops, having changed nothing for it, at the first line that is
    // not one, and at the end of the bytes read.
    void readUsualLines() {
#if defined(DOZORIRA_AVX2)
        if (avx2Usable()) return readUsualLinesAvx2();
#endif
        readUsualLinesWith<lineMasks>();
    }

#if defined(DOZORIRA_AVX2)
    // The same code, compiled for the machines that have AVX2 and the bit instructions.
    [[gnu::target("avx2,bmi,bmi2,popcnt")]] void readUsualLinesAvx2() {
        readUsualLinesWith<avx2LineMasks>();
    }
#endif

    template <LineMasks (*masksOf)(const char*)> [[gnu::always_inline]] void readUsualLinesWith() {
        const std::string_view bytes = file_.unread();
        const char* text = bytes.data(); // where the next line starts
        const char* const end = text + bytes.size();
        // Kept from line to line: fields 1 to 3 of a line read last, which most lines repeat.
        LineValues line;
        RepeatedFields repeated; // those fields, with the tab after them
        while (text != end) {
            UsualLine fields;
            if (!fields.split(text, static_cast<std::size_t>(end - text), masksOf(text))) break;
            const int row = readUsualLine(fields, line, repeated);
            if (row < 0) break;
            ++dataLine_;
            checkLineCount();
            noteRow(static_cast<std::int16_t>(row));
            store(line);
            const char* const cr = text + line.size;
            // A CR that ends the bytes read leaves the line feed after it to the next read.
            if (cr + 1 == end) {
                file_.take(static_cast<std::size_t>(text - bytes.data()));
                file_.takeLine(line.size);
                return;
            }
            text = cr + (cr[1] == '\n' ? 2 : 1);
        }
        file_.take(static_cast<std::size_t>(text - bytes.data()));
    }

    // The values of a usual line, and its row number; below 0 for a line that has other numbers.
    // Fields 1 to 3 are read only where they are not the repeated ones, which they then become.
    [[gnu::always_inline]] static int readUsualLine(UsualLine& fields, LineValues& line,
                                                    RepeatedFields& repeated) {
        const int row = smallNumber(fields.next());
        if (row < 0) return -1;
        if (!fields.skipRepeated(repeated) && !readChangedFields(fields, line, repeated)) return -1;
        line.found = trimBlanks(fields.next());
        fields.next();
        const int openCount = smallNumber(fields.next());
        line.opened = fields.next();
        fields.next();
        const std::string_view revisits = fields.next();
        // Within-search errors as revisitCount counts them.
        line.withinErrors =
            revisits.size() <= 1 ? static_cast<int>(revisits.size()) : fields.blanksIn(revisits);
        if (!fields.hadTenFields() || static_cast<unsigned>(openCount) > 255) return -1;
        line.openCount = static_cast<std::uint8_t>(openCount);
        line.size = fields.size();
        return row;
    }

    // Fields 1 to 3 of a usual line; false where a number is not a small one.
    [[gnu::always_inline]] static bool readChangedFields(UsualLine& fields, LineValues& line,
                                                         RepeatedFields& repeated) {
        line.label = fields.next();
        const int boxes = smallNumber(fields.next());
        const std::string_view code = fields.next();
        const int codeValue = smallNumber(code);
        // Neither is below 0 or has a bit above the byte's.
        if (static_cast<unsigned>(boxes | codeValue) > 255) return false;
        line.boxes = static_cast<std::uint8_t>(boxes);
        line.code = static_cast<std::uint8_t>(codeValue);
        // The label starts within a few bytes of the line, which UsualLine::Reach bytes may be
        // read from.
        repeated.keep({line.label.data(), code.data() + code.size() + 1});
        return true;
    }

    // The plain way, for any line: fields are read in their order, so that an error names the
    // first field that is wrong, and numbers that are not plain are noted for the warnings.
    void readAnyLine(std::string_view line) {
        checkLineCount();
        const LineFields fields(line);
        lineQuirks_ = {};
        noteRow(readNumeric(fields, 0, readInt16));
        LineValues values;
        values.label = field(fields, 1);
        values.boxes = readNumeric(fields, 2, readByte);
        values.code = readNumeric(fields, 3, readByte);
        values.found = trimBlanks(field(fields, 4));
        values.openCount = readNumeric(fields, 6, readByte);
        // In field order, so that a line too short names its first missing field.
        values.opened = field(fields, 7);
        values.withinErrors = revisitCount(field(fields, 9));
        store(values);
        noteShape(fields);
    }

    // A row number of zero starts a cluster; any other line adds a trial to the current one.
    void noteRow(std::int16_t row) {
        if (row == 0) startCluster();
        lastRow_ = row;
    }

    // Reads a numeric field and notes how it departs from a plain number.
    template <typename T>
    T readNumeric(const LineFields& fields, int index, T (*read)(std::string_view, NumberQuirks&)) {
        const std::string_view text = field(fields, index);
        if (const auto plain = plainInteger(text); plain && std::in_range<T>(*plain))
            return static_cast<T>(*plain);
        NumberQuirks quirks;
        T value{};
        try {
            value = read(text, quirks);
        } catch (RunError& e) {
            throw e.atField(index);
        }
        if (quirks.any()) noteOddNumber(quirks, index, text, value);
        return value;
    }

    void noteOddNumber(NumberQuirks quirks, int index, std::string_view text, int value) {
        lineQuirks_.add(quirks);
        for (int kind = 0; kind < NumberQuirkKinds; ++kind) {
            OddNumbers& odd = tables_.oddNumbers[static_cast<std::size_t>(kind)];
            if (!quirks.has(static_cast<NumberQuirk>(kind)) || odd.firstDataLine > 0) continue;
            odd.firstDataLine = dataLine_;
            odd.field = index;
            odd.text = text;
            odd.value = value;
            // Field 0 is read before the cluster that its 0 starts.
            odd.startedCluster = index == 0 && value == 0 ? tables_.ClusterCount + 1 : 0;
        }
    }

    void countOddNumberLine() {
        for (int kind = 0; kind < NumberQuirkKinds; ++kind)
            if (lineQuirks_.has(static_cast<NumberQuirk>(kind)))
                ++tables_.oddNumbers[static_cast<std::size_t>(kind)].lineCount;
    }

    // Nothing read here changes a number; it lets --check warn of shapes that do.
    void noteShape(const LineFields& fields) {
        if (lineQuirks_.any()) countOddNumberLine();
        if (!fields.holdsLineFeed()) return;
        const std::string_view line = fields.line();
        const auto lineFeeds = std::count(line.begin(), line.end(), '\n');
        tables_.dataLinesWithLineFeeds.push_back({dataLine_, static_cast<int>(lineFeeds)});
    }

    void startCluster() {
        finishCluster();
        if (tables_.ClusterCount >= 1) closeCluster(lastRow_);
        static_assert(MaxClusters >= MaxDataLines, "every data line can start a cluster");
        ++tables_.ClusterCount;
        current_ = &tables_.clusters.emplace_back(&tables_.trialMemory->resource);
        current_->trials.reserve(TypicalTrials);
        earlierFinds_ = {};
    }

    // What a cluster's lines come to, once its last line is read. Until the close rule sets it,
    // the trial count is the count of its lines.
    void finishCluster() {
        settleLabel();
        Cluster& c = *current_;
        c.LineCount = static_cast<int>(c.trials.size());
        c.TrialCount = static_cast<std::int16_t>(c.trials.size());
        if (!c.trials.empty()) c.LastDataLine = c.trials.back().DataLine;
    }

    // A cluster's trial count is its last row number plus one, whatever lines it holds.
    void closeCluster(std::int16_t lastRow) {
        try {
            current_->TrialCount =
                checkedInt16(lastRow + 1, "the last row number of the cluster plus one");
        } catch (RunError& e) {
            throw e.atDataLine(current_->LastDataLine).atField(0);
        }
    }

    void store(const LineValues& line) {
        Cluster& c = *current_;
        label_ = line.label;
        c.BoxCount = line.boxes;
        c.ClusterCode = line.code;
        if (line.openCount != line.opened.size()) noteOpenedCountOff(line.openCount, line.opened);
        // Every line stores the next trial of its cluster.
        static_assert(MaxDataLines <= MaxTrials, "a cluster's lines never pass its trials");
        c.trials.push_back(
            {.BetweenErrorsAdded = earlierFinds_.hitsThenAdd(line.opened, line.found),
             .WithinErrors = line.withinErrors,
             .DataLine = dataLine_,
             .OpenCount = line.openCount});
    }

    // The Open column averages field 6, the between-search errors read field 7: when they
    // disagree, the two columns describe different trials.
    void noteOpenedCountOff(int counted, std::string_view listed) {
        OpenedCountsOff& off = tables_.openedCountsOff;
        if (off.lineCount++ > 0) return;
        off.firstDataLine = dataLine_;
        off.counted = counted;
        off.listed = listed;
    }

    // The last line's label wins. It is kept as the line gave it until its cluster ends or the
    // bytes it is in are about to be read over, and only then copied.
    void settleLabel() {
        if (label_.data() == nullptr) return;
        current_->ClusterLabel = label_;
        label_ = {};
    }

    LineReader file_;
    ClusterTables tables_;
    Cluster* current_;          // the cluster that the lines now read belong to
    std::string_view label_;    // field 1 of the last line read, until it is settled
    EarlierFinds earlierFinds_; // of the current cluster's trials
    std::int16_t lastRow_ = 0;  // the row number of the line read last
    int dataLine_ = 0;
    NumberQuirks lineQuirks_; // of the current data line, which counts once per kind
};

} // namespace

ClusterTables readTaskFile(const std::string& path, ReadSizes sizes, const ReadTap* tap) {
    return TaskFileReader(path, sizes, Opening::AnyFile, tap).read();
}

std::optional<ClusterTables> readTaskFile(const std::string& path, Opening opening,
                                          const ReadTap* tap) {
    TaskFileReader reader(path, {}, opening, tap);
    if (!reader.isOpen()) return std::nullopt;
    return reader.read();
}

} // namespace dozorira
