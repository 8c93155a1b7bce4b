#include "writer.h"

#include <charconv>

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

void appendCluster(std::string& out, const ClusterResult& cluster, char separator) {
    appendField(out, formatNumber(cluster.trials));
    appendField(out, formatNumber(cluster.boxes));
    appendField(out, formatDecimal(cluster.meanOpened, separator));
    appendField(out, formatDecimal(cluster.meanWithinErrors, separator));
    appendField(out, formatDecimal(Thousandths::of(cluster.betweenErrors), separator));
}

} // namespace

std::string formatNumber(long long value) {
    std::string out(1, value < 0 ? '-' : ' ');
    appendDigits(out, static_cast<unsigned long long>(value < 0 ? -value : value));
    out += ' ';
    return out;
}

std::string formatDecimal(Thousandths value, char decimalSeparator) {
    const auto magnitude =
        static_cast<unsigned long long>(value.count < 0 ? -value.count : value.count);
    std::string out;
    if (value.count < 0) out += '-';
    appendDigits(out, magnitude / 1000);
    out += decimalSeparator;
    const unsigned long long fraction = magnitude % 1000;
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

std::string datRecord(const ParticipantResult& result, char decimalSeparator) {
    std::string out;
    appendField(out, result.subject);
    appendField(out, formatNumber(result.clusterCount()));
    for (const ClusterResult& cluster : result.clusters)
        appendCluster(out, cluster, decimalSeparator);
    out += LineEnd;
    return out;
}

} // namespace dozorira
