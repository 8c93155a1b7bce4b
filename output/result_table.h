#pragma once

#include "format.h"
#include "result.h"

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace dozorira::output {

enum class ColumnKind {
    Text,        // the subject
    Count,       // a whole number
    Thousandths, // a number with three decimals, shown exactly as the .dat shows it
};

struct Column {
    std::string name;
    std::string label;
    ColumnKind kind;
};

// One value of a row: missing (a cluster the participant does not have), the subject, a count or
// a three-decimal number, matching its column's kind.
using Cell = std::variant<std::monostate, std::string_view, long long, Thousandths>;

using RowVisitor = std::function<void(std::span<const Cell>)>;

// The columns of a wide row for clusterCount clusters: Subject, Clusters, then Trials1, Boxes1,
// Open1, W_Err1, B_err1, Trials2 and so on.
std::vector<Column> wideColumns(int clusterCount);

// A participant's wide row, as many cells as it has clusters; the cells refer to the result.
void wideCells(const ParticipantResult& result, std::vector<Cell>& cells);

// "Dozorira 1.0.0, 199 task files": what a file says of the run that wrote it.
std::string runLabel(std::size_t taskFiles);

// The results of a whole run as one table, from which every whole-file format is rendered. Rows
// are composed one at a time, so a table of many thousand participants costs little memory.
class ResultTable {
public:
    ResultTable(std::vector<ParticipantResult> results, Layout layout);

    const std::vector<Column>& columns() const { return columns_; }
    // Known before the first row, as file formats that state their row count need it.
    std::size_t rowCount() const;
    // The rows one participant's result takes in a layout.
    static std::size_t rowsOf(const ParticipantResult& result, Layout layout);
    std::size_t taskFileCount() const { return results_.size(); }
    const std::vector<ParticipantResult>& results() const { return results_; }
    // The longest text of a text column (the subject or the cluster label) in bytes.
    std::size_t textBytes(const Column& column) const;

    // Calls visit with the cells of every row, in order; the cells live until visit returns.
    void forEachRow(const RowVisitor& visit) const;

private:
    std::vector<ParticipantResult> results_;
    Layout layout_;
    std::vector<Column> columns_;
};

} // namespace dozorira::output
