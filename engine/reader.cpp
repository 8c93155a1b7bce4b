#include "reader.h"

#include "line_reader.h"
#include "number.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace dozorira {
namespace {

// The fields of one data line, split on tabs; only the first ten are of interest.
class Fields {
public:
    explicit Fields(std::string_view line) {
        // An empty line has no fields at all, not one empty field.
        if (line.empty()) return;
        // Fields are short, so a plain scan beats a library search per field.
        std::size_t start = 0;
        for (std::size_t i = 0; i < line.size() && count_ < MinFieldsPerLine - 1; ++i) {
            if (line[i] != '\t') continue;
            fields_[static_cast<std::size_t>(count_++)] = line.substr(start, i - start);
            start = i + 1;
        }
        const std::size_t tab = line.find('\t', start);
        fields_[static_cast<std::size_t>(count_++)] = line.substr(start, tab - start);
    }

    std::string_view operator[](int index) const {
        if (index >= count_)
            throw RunError(ErrorKind::SubscriptOutOfRange,
                           "the line has " + std::to_string(count_) + " field" +
                               (count_ == 1 ? "" : "s") + ", a data line needs at least " +
                               std::to_string(MinFieldsPerLine))
                .atField(index);
        return fields_[static_cast<std::size_t>(index)];
    }

private:
    std::array<std::string_view, MinFieldsPerLine> fields_;
    int count_ = 0;
};

std::string_view trimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

constexpr std::size_t TypicalTrials = 32;

class TaskFileReader {
public:
    explicit TaskFileReader(const std::string& path) : file_(path) {
        tables_.clusters.reserve(MaxClusters + 1);
    }

    ClusterTables read() {
        skipHeader(1);
        skipHeader(2);
        std::string line;
        while (!file_.atEnd()) {
            ++dataLine_;
            try {
                file_.readLine(line);
                readDataLine(line);
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
        if (file_.atEnd())
            throw RunError(ErrorKind::InputPastEndOfFile,
                           "the file ends before header line " + std::to_string(number) +
                               "; a task file starts with two header lines");
        tables_.headerHoldsLineFeed[static_cast<std::size_t>(number - 1)] = file_.skipLine();
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
        noteShape(line);
    }

    // Reads a numeric field and notes how it departs from a plain number.
    template <typename T>
    T readNumeric(const Fields& fields, int index, T (*read)(std::string_view, NumberQuirks&)) {
        const std::string_view text = fields[index];
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
    void noteShape(std::string_view line) {
        if (lineQuirks_.any()) countOddNumberLine();
        ++tables_.cluster(tables_.ClusterCount).LineCount;
        const auto lineFeeds = std::count(line.begin(), line.end(), '\n');
        if (lineFeeds > 0)
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
        c.ClusterLabel = fields[1];
        c.BoxCount = readNumeric(fields, 2, readByte);
        c.ClusterCode = readNumeric(fields, 3, readByte);
        // Trials of a cluster are stored in line order, so trial TrialCount is the next one.
        Trial& t = c.trial(c.TrialCount);
        t.DataLine = c.LastDataLine = dataLine_;
        t.FoundBox = trimBlanks(fields[4]);
        t.OpenCount = readNumeric(fields, 6, readByte);
        t.OpenedBoxes = fields[7];
        t.RevisitList = fields[9];
    }

    LineReader file_;
    ClusterTables tables_;
    std::array<std::int16_t, MaxDataLines + 1> RowNumber{};
    int dataLine_ = 0;
    NumberQuirks lineQuirks_; // of the current data line, which counts once per kind
};

} // namespace

ClusterTables readTaskFile(const std::string& path) {
    return TaskFileReader(path).read();
}

} // namespace dozorira
