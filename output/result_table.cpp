#include "result_table.h"

#include <algorithm>
#include <array>

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

std::vector<Column> longColumns() {
    std::vector<Column> columns = {SubjectColumn, {"Cluster", "Cluster number", ColumnKind::Count}};
    for (const ClusterColumn& c : ClusterColumns)
        columns.push_back({std::string(c.name), std::string(c.label), c.kind});
    return columns;
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

void visitLongRows(const ParticipantResult& result, std::vector<Cell>& cells,
                   const RowVisitor& visit) {
    long long number = 0;
    for (const ClusterResult& cluster : result.clusters) {
        cells.assign({std::string_view(result.subject), ++number});
        appendCluster(cells, cluster);
        visit(cells);
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

ResultTable::ResultTable(std::vector<ParticipantResult> results, Layout layout)
    : results_(std::move(results)), layout_(layout) {
    int widest = 0;
    for (const ParticipantResult& result : results_)
        widest = std::max(widest, result.clusterCount());
    columns_ = layout_ == Layout::Wide ? wideColumns(widest) : longColumns();
}

std::size_t ResultTable::rowCount() const {
    if (layout_ == Layout::Wide) return results_.size();
    std::size_t rows = 0;
    for (const ParticipantResult& result : results_)
        rows += result.clusters.size();
    return rows;
}

std::size_t ResultTable::subjectBytes() const {
    std::size_t widest = 0;
    for (const ParticipantResult& result : results_)
        widest = std::max(widest, result.subject.size());
    return widest;
}

void ResultTable::forEachRow(const RowVisitor& visit) const {
    std::vector<Cell> cells;
    cells.reserve(columns_.size());
    for (const ParticipantResult& result : results_) {
        if (layout_ == Layout::Wide)
            visitWideRow(result, columns_.size(), cells, visit);
        else
            visitLongRows(result, cells, visit);
    }
}

} // namespace dozorira::output
