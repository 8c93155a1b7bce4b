#include "result_table.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace dozorira::output {
namespace {

struct ClusterColumn {
    std::string_view name;
    std::string_view label;
    ColumnKind kind;
};

// The five columns every cluster adds, in the order of the .dat.
constexpr std::array<ClusterColumn, 5> ClusterColumns = {{
    {"Trials", "Trials", ColumnKind::Count},
    {"Boxes", "Boxes", ColumnKind::Count},
    {"Open", "Mean boxes opened per trial", ColumnKind::Thousandths},
    {"W_Err", "Mean within-search errors per trial", ColumnKind::Thousandths},
    {"B_err", "Between-search errors", ColumnKind::Thousandths},
}};

const Column SubjectColumn = {"Subject", "Subject (task file name)", ColumnKind::Text};

const Column ClusterNumberColumn = {"Cluster", "Cluster number", ColumnKind::Count};

// Field 1 of the task file, which names the cluster's condition, as the file holds it.
const Column ClusterLabelColumn = {"Label", "Cluster label (field 1 of its last line)",
                                   ColumnKind::Text};

std::vector<Column> longColumns() {
    std::vector<Column> columns = {SubjectColumn, ClusterNumberColumn, ClusterLabelColumn};
    for (const ClusterColumn& c : ClusterColumns)
        columns.push_back({std::string(c.name), std::string(c.label), c.kind});
    return columns;
}

// Counts per trial, whose means and sums over a cluster's rows are the long layout's numbers.
std::vector<Column> trialColumns() {
    return {SubjectColumn,
            ClusterNumberColumn,
            ClusterLabelColumn,
            {"Trial", "Trial number", ColumnKind::Count},
            {"Recorded", "Trial has a data line (1) or is a gap in the row numbers (0)",
             ColumnKind::Count},
            {"Boxes", "Boxes", ColumnKind::Count},
            {"Opened", "Boxes opened in the trial", ColumnKind::Count},
            {"W_Err", "Within-search errors in the trial", ColumnKind::Count},
            {"B_err", "Between-search errors the trial adds", ColumnKind::Count}};
}

std::vector<Column> columnsOf(Layout layout, int widestClusterCount) {
    switch (layout) {
    case Layout::Long: return longColumns();
    case Layout::Trials: return trialColumns();
    case Layout::Wide: break;
    }
    return wideColumns(widestClusterCount);
}

void appendCluster(std::vector<Cell>& cells, const ClusterResult& cluster) {
    cells.emplace_back(static_cast<long long>(cluster.trials));
    cells.emplace_back(static_cast<long long>(cluster.boxes));
    cells.emplace_back(cluster.meanOpened);
    cells.emplace_back(cluster.meanWithinErrors);
    cells.emplace_back(Thousandths::of(cluster.betweenErrors));
}

void visitWideRow(const ParticipantResult& result, std::size_t columnCount,
                  std::vector<Cell>& cells, const RowVisitor& visit) {
    wideCells(result, cells);
    cells.resize(columnCount); // a cluster the participant does not have is missing, never 0
    visit(cells);
}

// A participant without any cluster keeps a row, with every cluster column missing, so that
// a count of participants made from the rows still counts them.
void visitEmptyRow(const ParticipantResult& result, std::size_t columnCount,
                   std::vector<Cell>& cells, const RowVisitor& visit) {
    cells.assign({std::string_view(result.subject)});
    cells.resize(columnCount);
    visit(cells);
}

// The label of cluster index, which rows per cluster need.
std::string_view labelOf(const ParticipantResult& result, std::size_t index) {
    if (result.labels.size() != result.clusters.size())
        throw std::logic_error("rows per cluster need the labels of every cluster");
    return result.labels[index].text;
}

void visitLongRows(const ParticipantResult& result, std::size_t columnCount,
                   std::vector<Cell>& cells, const RowVisitor& visit) {
    if (result.clusters.empty()) visitEmptyRow(result, columnCount, cells, visit);
    for (std::size_t c = 0; c < result.clusters.size(); ++c) {
        cells.assign(
            {std::string_view(result.subject), static_cast<long long>(c) + 1, labelOf(result, c)});
        appendCluster(cells, result.clusters[c]);
        visit(cells);
    }
}

// The trials whose numbers a cluster keeps: a cluster whose last row number is below -1 counts
// fewer than 0 trials, and keeps none.
std::size_t keptTrials(const ClusterResult& cluster) {
    return cluster.trials > 0 ? static_cast<std::size_t>(cluster.trials) : 0;
}

// Every cluster has at least one row; one without trials has the trial's columns missing.
std::size_t trialRowCount(const ClusterResult& cluster) {
    return std::max<std::size_t>(keptTrials(cluster), 1);
}

// A trial without a line of its own (a gap in the row numbers) is a row of zeros, as it counts
// in the means, marked as such in its Recorded column.
void visitTrialRows(const ParticipantResult& result, std::size_t columnCount,
                    std::vector<Cell>& cells, const RowVisitor& visit) {
    std::size_t kept = 0;
    for (const ClusterResult& cluster : result.clusters)
        kept += keptTrials(cluster);
    if (kept != result.trials.size())
        throw std::logic_error("trial rows need the numbers of every trial");
    if (result.clusters.empty()) visitEmptyRow(result, columnCount, cells, visit);
    auto trial = result.trials.begin();
    for (std::size_t c = 0; c < result.clusters.size(); ++c) {
        const ClusterResult& cluster = result.clusters[c];
        const auto clusterNumber = static_cast<long long>(c) + 1;
        const Cell subject = std::string_view(result.subject);
        const Cell label = labelOf(result, c);
        const Cell boxes = static_cast<long long>(cluster.boxes);
        if (keptTrials(cluster) == 0) {
            cells.assign({subject, clusterNumber, label, {}, {}, boxes});
            cells.resize(columnCount);
            visit(cells);
        }
        for (long long number = 1; number <= cluster.trials; ++number, ++trial) {
            cells.assign({subject, clusterNumber, label, number,
                          static_cast<long long>(trial->hasLine ? 1 : 0), boxes,
                          static_cast<long long>(trial->opened),
                          static_cast<long long>(trial->withinErrors),
                          static_cast<long long>(trial->betweenErrors)});
            visit(cells);
        }
    }
}

} // namespace

std::vector<Column> wideColumns(int clusterCount) {
    std::vector<Column> columns = {SubjectColumn,
                                   {"Clusters", "Number of clusters", ColumnKind::Count}};
    for (int n = 1; n <= clusterCount; ++n) {
        const std::string number = std::to_string(n);
        for (const ClusterColumn& c : ClusterColumns)
            columns.push_back({std::string(c.name) + number,
                               std::string(c.label) + ", cluster " + number, c.kind});
    }
    return columns;
}

void wideCells(const ParticipantResult& result, std::vector<Cell>& cells) {
    cells.assign({std::string_view(result.subject), static_cast<long long>(result.clusterCount())});
    for (const ClusterResult& cluster : result.clusters)
        appendCluster(cells, cluster);
}

std::string runLabel(std::size_t taskFiles) {
    return std::string("Dozorira ") + DOZORIRA_VERSION + ", " + std::to_string(taskFiles) +
           (taskFiles == 1 ? " task file" : " task files");
}

ResultTable::ResultTable(std::vector<ParticipantResult> results, Layout layout)
    : results_(std::move(results)), layout_(layout) {
    int widest = 0;
    for (const ParticipantResult& result : results_)
        widest = std::max(widest, result.clusterCount());
    columns_ = columnsOf(layout_, widest);
}

std::size_t ResultTable::rowCount() const {
    std::size_t rows = 0;
    for (const ParticipantResult& result : results_)
        rows += rowsOf(result, layout_);
    return rows;
}

// A participant without clusters keeps one row in every layout, so that no one drops out.
std::size_t ResultTable::rowsOf(const ParticipantResult& result, Layout layout) {
    if (layout == Layout::Wide) return 1;
    std::size_t rows = 0;
    if (layout == Layout::Long)
        rows = result.clusters.size();
    else
        for (const ClusterResult& cluster : result.clusters)
            rows += trialRowCount(cluster);
    return std::max<std::size_t>(rows, 1);
}

std::size_t ResultTable::textBytes(const Column& column) const {
    std::size_t widest = 0;
    for (const ParticipantResult& result : results_) {
        if (column.name == SubjectColumn.name) widest = std::max(widest, result.subject.size());
        if (column.name != ClusterLabelColumn.name) continue;
        for (const ClusterLabel& label : result.labels)
            widest = std::max(widest, label.text.size());
    }
    return widest;
}

void ResultTable::forEachRow(const RowVisitor& visit) const {
    std::vector<Cell> cells;
    cells.reserve(columns_.size());
    for (const ParticipantResult& result : results_) {
        switch (layout_) {
        case Layout::Wide: visitWideRow(result, columns_.size(), cells, visit); break;
        case Layout::Long: visitLongRows(result, columns_.size(), cells, visit); break;
        case Layout::Trials: visitTrialRows(result, columns_.size(), cells, visit); break;
        }
    }
}

} // namespace dozorira::output
