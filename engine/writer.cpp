#include "writer.h"

#include "number.h"

#include <charconv>
#include <cstdlib>

namespace dozorira {
namespace {

constexpr char Tab = '\t';

void appendDigits(std::string& out, unsigned long long value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

void appendField(std::string& out, std::string_view text) {
    out += text;
    out += Tab;
}

// The sums of one cluster's opened boxes and within-search errors.
struct ClusterSums {
    long long opened = 0;
    long long within = 0;
};

ClusterSums sumTrials(const Cluster& cluster) {
    ClusterSums sums;
    for (int r = 1; r <= cluster.TrialCount; ++r) {
        const Trial& trial = cluster.trial(r);
        sums.opened += trial.OpenCount;
        sums.within += trial.WithinErrors;
    }
    checkedInt16(sums.opened, "the sum of opened boxes");
    checkedInt16(sums.within, "the sum of within-search errors");
    return sums;
}

void appendCluster(std::string& out, const Cluster& cluster, char separator) {
    appendField(out, formatNumber(cluster.TrialCount));
    appendField(out, formatNumber(cluster.BoxCount));
    const ClusterSums sums = sumTrials(cluster);
    if (cluster.TrialCount == 0)
        throw RunError(ErrorKind::DivisionByZero,
                       "the cluster has 0 trials (its last row number is -1), so it has no mean");
    appendField(out, formatDecimal(sums.opened, cluster.TrialCount, separator));
    appendField(out, formatDecimal(sums.within, cluster.TrialCount, separator));
    appendField(out, formatDecimal(cluster.BetweenErrors, 1, separator));
}

} // namespace

std::string formatNumber(long long value) {
    std::string out(1, value < 0 ? '-' : ' ');
    appendDigits(out, static_cast<unsigned long long>(value < 0 ? -value : value));
    out += ' ';
    return out;
}

std::string formatDecimal(long long numerator, long long denominator, char decimalSeparator) {
    const auto num = static_cast<unsigned long long>(std::llabs(numerator));
    const auto den = static_cast<unsigned long long>(std::llabs(denominator));
    unsigned long long thousandths = num * 1000 / den;
    if (2 * (num * 1000 % den) >= den) ++thousandths;

    std::string out;
    if (thousandths != 0 && (numerator < 0) != (denominator < 0)) out += '-';
    appendDigits(out, thousandths / 1000);
    out += decimalSeparator;
    const unsigned long long fraction = thousandths % 1000;
    out += static_cast<char>('0' + fraction / 100);
    out += static_cast<char>('0' + fraction / 10 % 10);
    out += static_cast<char>('0' + fraction % 10);
    return out;
}

std::string columnNames(int clusterCount) {
    std::string out = "Subject\tClusters\t";
    for (int n = 1; n <= clusterCount; ++n) {
        for (const std::string_view name : {"Trials", "Boxes", "Open", "W_Err", "B_err"}) {
            out += name;
            appendDigits(out, static_cast<unsigned long long>(n));
            out += Tab;
        }
    }
    out += LineEnd;
    return out;
}

std::string subjectName(std::string_view path) {
    const std::string_view name = path.substr(path.rfind('/') + 1);
    if (name.size() < 4)
        throw RunError(ErrorKind::InvalidArgument,
                       "the file name " + quoted(name) +
                           " is too short to hold a subject name and an extension");
    const std::string_view subject = name.substr(0, name.size() - 4);
    if (subject.find_first_of("\t\r\n") != std::string_view::npos)
        throw RunError(ErrorKind::InvalidArgument,
                       "the file name " + quoted(name) +
                           " holds a tab or line break, which would shift the output's columns");
    return std::string(subject);
}

std::string composeRecord(const ClusterTables& tables, std::string_view path, bool withColumnNames,
                          char decimalSeparator) {
    std::string out;
    if (withColumnNames) out = columnNames(tables.ClusterCount);
    appendField(out, subjectName(path));
    appendField(out, formatNumber(tables.ClusterCount));
    for (int h = 1; h <= tables.ClusterCount; ++h) {
        try {
            appendCluster(out, tables.cluster(h), decimalSeparator);
        } catch (RunError& e) {
            throw RunError(e.kind(), "cluster " + std::to_string(h) + ": " + e.problem());
        }
    }
    out += LineEnd;
    return out;
}

} // namespace dozorira
