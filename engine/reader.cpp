#include "reader.h"

#include "line_reader.h"
#include "number.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
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

// The bytes equal to c among eight bytes of text, as the high bit of each.
std::uint64_t bytesEqual(std::uint64_t bytes, char c) {
    constexpr std::uint64_t Low7 = 0x7f7f7f7f7f7f7f7fULL;
    const std::uint64_t zeroAtC = bytes ^ (0x0101010101010101ULL * static_cast<unsigned char>(c));
    // The high bit of (byte & 0x7f) + 0x7f, or of the byte itself, is set unless the byte is 0;
    // no sum carries into the next byte.
    return ~(((zeroAtC & Low7) + Low7) | zeroAtC | Low7);
}

// Eight bytes of text, the first in the lowest byte whatever the machine.
std::uint64_t eightBytes(const char* text) {
    std::uint64_t bytes = 0;
    std::memcpy(&bytes, text, sizeof bytes);
    if constexpr (std::endian::native == std::endian::big) {
        std::uint64_t swapped = 0;
        for (int i = 0; i < 8; ++i, bytes >>= 8)
            swapped = swapped << 8 | (bytes & 0xff);
        bytes = swapped;
    }
    return bytes;
}

// The fields of one data line, split on tabs; only the first ten are of interest. Fields are a
// few characters long, too short for a library search to pay: the line is looked at eight bytes
// at a time, for its tabs and its line feeds at once.
class Fields {
public:
    explicit Fields(std::string_view line) : text_(line.data()), size_(line.size()) {
        // An empty line has no fields at all, not one empty field.
        if (line.empty()) return;
        std::uint64_t lineFeeds = 0;
        std::size_t at = 0;
        for (; at + 8 <= size_; at += 8) {
            const std::uint64_t bytes = eightBytes(text_ + at);
            lineFeeds |= bytesEqual(bytes, '\n');
            addTabs(bytesEqual(bytes, '\t'), at);
        }
        if (at < size_ && size_ >= 8) {
            // The rest, as the last eight bytes of the line less those looked at already.
            const std::size_t from = size_ - 8;
            const std::uint64_t bytes = eightBytes(text_ + from);
            const std::uint64_t rest = ~std::uint64_t{0} << (8 * (at - from));
            lineFeeds |= bytesEqual(bytes, '\n') & rest;
            addTabs(bytesEqual(bytes, '\t') & rest, from);
        } else {
            for (; at < size_; ++at) {
                lineFeeds |= static_cast<std::uint64_t>(text_[at] == '\n');
                addTabs(static_cast<std::uint64_t>(text_[at] == '\t') << 7, at);
            }
        }
        holdsLineFeed_ = lineFeeds != 0;
        count_ = static_cast<int>(std::min<std::size_t>(tabs_ + 1, MinFieldsPerLine));
    }

    std::string_view operator[](int index) const {
        if (index >= count_) failMissingField({text_, size_}, count_, index);
        const auto i = static_cast<std::size_t>(index);
        const std::size_t start = i == 0 ? 0 : tabAt_[i - 1] + 1;
        const std::size_t end = i < tabs_ ? tabAt_[i] : size_;
        return {text_ + start, end - start};
    }

    bool holdsLineFeed() const { return holdsLineFeed_; }

private:
    // Notes the tabs among eight bytes from at, as long as fields of interest are left.
    void addTabs(std::uint64_t tabs, std::size_t at) {
        std::size_t found = tabs_; // a local, which the stores into tabAt_ cannot change
        if (found >= MinFieldsPerLine) return;
        for (; tabs != 0; tabs &= tabs - 1)
            tabAt_[found++] = at + static_cast<std::size_t>(std::countr_zero(tabs)) / 8;
        tabs_ = found;
    }

    const char* text_;
    std::size_t size_;
    // Where the tabs are: the ten that end the fields of interest, and up to seven more from the
    // same eight bytes. Left uninitialised, for speed: only the first tabs_ are set and read.
    std::size_t tabAt_[MinFieldsPerLine + 7];
    std::size_t tabs_ = 0;
    int count_ = 0;
    bool holdsLineFeed_ = false;
};

std::string_view trimBlanks(std::string_view text) {
    if (text.empty() || (text.front() != ' ' && text.back() != ' ')) return text;
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

constexpr std::size_t TypicalTrials = 32;

class TaskFileReader {
public:
    TaskFileReader(const std::string& path, ReadSizes sizes, Opening opening, const ReadTap* tap)
        : file_(path, sizes, opening, tap) {
        tables_.clusters.reserve(MaxClusters + 1);
    }

    bool isOpen() const { return file_.isOpen(); }

    ClusterTables read() {
        skipHeader(1);
        skipHeader(2);
        while (!file_.atEnd()) {
            ++dataLine_;
            try {
                readDataLine(file_.readLine());
            } catch (RunError& e) {
                throw e.atDataLine(dataLine_);
            }
        }
        try {
            closeCluster(RowNumber[static_cast<std::size_t>(dataLine_)]);
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

    void readDataLine(std::string_view line) {
        if (dataLine_ > MaxDataLines)
            throw RunError(ErrorKind::SubscriptOutOfRange, "a task file holds at most " +
                                                               std::to_string(MaxDataLines) +
                                                               " data lines");
        const Fields fields(line);
        lineQuirks_ = {};
        const std::int16_t row = readNumeric(fields, 0, readInt16);
        RowNumber[static_cast<std::size_t>(dataLine_)] = row;
        if (row != 0)
            countTrial();
        else
            startCluster();
        storeFields(fields);
        noteShape(line, fields.holdsLineFeed());
    }

    // Reads a numeric field and notes how it departs from a plain number.
    template <typename T>
    T readNumeric(const Fields& fields, int index, T (*read)(std::string_view, NumberQuirks&)) {
        const std::string_view text = fields[index];
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
    void noteShape(std::string_view line, bool holdsLineFeed) {
        if (lineQuirks_.any()) countOddNumberLine();
        ++tables_.cluster(tables_.ClusterCount).LineCount;
        if (!holdsLineFeed) return;
        const auto lineFeeds = std::count(line.begin(), line.end(), '\n');
        tables_.dataLinesWithLineFeeds.push_back({dataLine_, static_cast<int>(lineFeeds)});
    }

    void countTrial() {
        Cluster& current = tables_.cluster(tables_.ClusterCount);
        current.TrialCount = checkedInt16(current.TrialCount + 1, "the trial count");
    }

    void startCluster() {
        if (tables_.ClusterCount >= 1)
            closeCluster(RowNumber[static_cast<std::size_t>(dataLine_ - 1)]);
        static_assert(MaxClusters >= MaxDataLines, "every data line can start a cluster");
        ++tables_.ClusterCount;
        Cluster& next = tables_.clusters.emplace_back();
        next.TrialCount = 1;
        next.trials.reserve(TypicalTrials);
    }

    // A cluster's trial count is its last row number plus one, whatever lines it holds.
    void closeCluster(std::int16_t lastRow) {
        Cluster& current = tables_.cluster(tables_.ClusterCount);
        try {
            current.TrialCount =
                checkedInt16(lastRow + 1, "the last row number of the cluster plus one");
        } catch (RunError& e) {
            throw e.atDataLine(current.LastDataLine).atField(0);
        }
    }

    void storeFields(const Fields& fields) {
        Cluster& c = tables_.cluster(tables_.ClusterCount);
        keepLabel(c.ClusterLabel, fields[1]);
        c.BoxCount = readNumeric(fields, 2, readByte);
        c.ClusterCode = readNumeric(fields, 3, readByte);
        c.LastDataLine = dataLine_;
        const std::string_view found = trimBlanks(fields[4]);
        const std::uint8_t openCount = readNumeric(fields, 6, readByte);
        // In field order, so that a line too short names its first missing field.
        const std::string_view opened = fields[7];
        const std::string_view revisits = fields[9];
        if (openCount != opened.size()) noteOpenedCountOff(openCount, opened);
        // Every line stores the next trial, trial TrialCount.
        c.addTrial(found, opened, revisits, openCount, dataLine_);
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

    // The last line's label wins; most lines repeat it.
    static void keepLabel(std::string& label, std::string_view line) {
        if (label.size() != line.size() || !std::equal(line.begin(), line.end(), label.begin()))
            label = line;
    }

    LineReader file_;
    ClusterTables tables_;
    std::array<std::int16_t, MaxDataLines + 1> RowNumber{};
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
