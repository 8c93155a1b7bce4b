#include "pages.h"

#include "plot.h"
#include "study_numbers.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace dozorira::report {
namespace {

// Room for the value axis's labels and name at the left of a plot.
constexpr double AxisRoom = 50;
// The strip plots show this many clusters side by side; more continue on further pages.
constexpr int ClustersPerPlot = 20;
// At most this many flagged participants get a plot of their trials; the rest are named.
constexpr std::size_t MostTrialPlots = 30;

std::string counted(std::size_t count, std::string_view one, std::string_view many) {
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : std::string(separator)) + part;
    return text;
}

std::string boxCounts(const std::vector<int>& counts) {
    if (counts.size() > 3)
        return std::to_string(counts.front()) + "–" + std::to_string(counts.back());
    std::vector<std::string> shown;
    shown.reserve(counts.size());
    for (const int count : counts)
        shown.push_back(std::to_string(count));
    return joined(shown, ", ");
}

std::string trialCount(double trials) {
    const auto whole = static_cast<long long>(trials);
    return static_cast<double>(whole) == trials ? std::to_string(whole)
                                                : std::to_string(whole) + ".5";
}

std::string zScore(double z) {
    const long long hundredths = std::llround(z * 100);
    const std::string digits = std::to_string(std::llabs(hundredths) % 100 + 100).substr(1);
    return (hundredths < 0 ? "−" : "") + std::to_string(std::llabs(hundredths) / 100) + "." +
           digits;
}

// The same sideways place on every run: a hash of the participant and the cluster, in -0.5..0.5.
double spread(std::size_t participant, int cluster) {
    std::uint64_t x = participant * 0x9E3779B97F4A7C15ULL + static_cast<std::uint64_t>(cluster);
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    x ^= x >> 31;
    return static_cast<double>(x >> 11) / static_cast<double>(1ULL << 53) - 0.5;
}

// Dots get smaller and lighter as a cluster's participants grow in number, so that a plot of
// 10 000 participants shows where they crowd.
double dotRadius(std::size_t participants) {
    return std::clamp(2.4 * std::pow(25.0 / static_cast<double>(participants), 0.4), 0.5, 2.4);
}
double dotAlpha(std::size_t participants) {
    return std::clamp(0.8 * std::pow(25.0 / static_cast<double>(participants), 0.4), 0.1, 0.8);
}

// Where, across a cluster's column, its dots spread and its mean and interval stand: side by side,
// in the middle of the column, and no wider than they need to be.
struct StripGeometry {
    explicit StripGeometry(double columnWidth)
        : dotsWidth(std::min(0.55 * columnWidth, 44.0)), tick(std::min(0.1 * columnWidth, 6.0)) {
        const double gap = std::min(0.12 * columnWidth, 10.0);
        const double start = (columnWidth - (dotsWidth + gap + 2 * tick)) / 2;
        dotsMiddle = start + dotsWidth / 2;
        barX = start + dotsWidth + gap + tick;
    }
    // For a spread in -0.5..0.5.
    double dotX(double spread) const { return dotsMiddle + spread * dotsWidth; }

    double dotsWidth;
    double tick; // half the width of the mean's mark
    double dotsMiddle = 0;
    double barX = 0;
};

class ReportPages {
public:
    ReportPages(Document& document, const ReportInput& input)
        : document_(document), input_(input), numbers_(studyNumbers(input.results)) {}

    void draw() {
        studyPage();
        document_.newPage();
        plotPages();
        document_.newPage();
        flaggedPages();
        document_.newPage();
        checkPage();
    }

private:
    void studyPage();
    void countLine(std::string_view name, std::size_t count, std::string_view note = {});
    void clusterTable();
    void plotPages();
    void stripPlot(Measure measure, Box area, int first, int last);
    void flaggedPages();
    void flaggedTable();
    void trialPlots();
    void trialPlot(std::size_t participant, Box box);
    void checkPage();
    std::string flagsOf(std::size_t participant) const;

    Document& document_;
    const ReportInput& input_;
    StudyNumbers numbers_;
};

void ReportPages::studyPage() {
    document_.paragraph("Study report", {.size = 20, .bold = true}, 6);
    document_.paragraph(std::string(input_.program) + ", run " + document_.runTime(),
                        {.size = 9, .color = Faint}, 2);
    document_.paragraph("Command line: " + std::string(input_.commandLine),
                        {.size = 7.5, .mono = true, .color = Faint}, 2);
    document_.paragraph(std::string(input_.checkOnly
                                        ? "--check: only this report was written; the task files "
                                          "are checked for "
                                        : "The task files are checked for ") +
                            std::string(input_.checkedFor) + ".",
                        {.size = 9, .color = Faint}, 12);
    countLine("Task files", input_.taskFiles);
    countLine("Passed", input_.taskFiles - input_.failed,
              input_.checkOnly && input_.failed > 0 ? "the report shows these only" : "");
    countLine("Failed", input_.failed, input_.failed > 0 ? "listed on the last page" : "");
    countLine("With warnings", input_.warned, input_.warned > 0 ? "listed on the last page" : "");
    countLine(
        "Flagged values", numbers_.flagged.size(),
        numbers_.flagged.empty()
            ? ""
            : "of " + counted(numbers_.flaggedParticipants.size(), "participant", "participants") +
                  ": see Who to look at");
    if (numbers_.withoutClusters > 0)
        countLine("Without a cluster", numbers_.withoutClusters,
                  "participants whose task file holds no cluster: in no table or plot");
    document_.y += 8;
    document_.heading("Clusters");
    clusterTable();
}

void ReportPages::countLine(std::string_view name, std::size_t count, std::string_view note) {
    const double y = document_.y;
    document_.text(Document::left(), y, name, {.size = 10});
    document_.text(Document::left() + 150, y, std::to_string(count),
                   {.size = 10, .bold = true, .align = Align::Right, .width = 40});
    if (!note.empty())
        document_.text(Document::left() + 200, y + 1, note, {.size = 8, .color = Faint});
    document_.y += 15;
}

void ReportPages::clusterTable() {
    if (numbers_.clusters.empty()) {
        document_.paragraph("No participant has a cluster: there is nothing to summarise.");
        return;
    }
    document_.paragraph(
        "Over the participants that have the cluster: the trials, and the mean and standard "
        "deviation (n − 1) of each measure, from the three-decimal values of the wide output.",
        {.size = 8.5}, 6);
    std::vector<TableColumn> columns = {
        {"Cluster", 38, Align::Right},        {"Partici-\npants", 42, Align::Right},
        {"Boxes", 40, Align::Right},          {"Trials\nleast", 34, Align::Right},
        {"Trials\nmedian", 38, Align::Right}, {"Trials\nmost", 34, Align::Right}};
    for (const Measure measure : Measures) {
        columns.push_back({std::string(nameOf(measure)) + "\nmean", 46, Align::Right});
        columns.push_back({std::string(nameOf(measure)) + "\nSD", 42, Align::Right});
    }
    std::vector<std::string> single;
    {
        Table table(document_, columns, 7.5);
        for (const ClusterNumbers& cluster : numbers_.clusters) {
            std::vector<std::string> cells = {
                std::to_string(cluster.cluster),  std::to_string(cluster.participants.size()),
                boxCounts(cluster.boxCounts),     std::to_string(cluster.leastTrials),
                trialCount(cluster.medianTrials), std::to_string(cluster.mostTrials)};
            for (const Spread& spread : cluster.spreads) {
                cells.push_back(threeDecimals(spread.mean));
                cells.push_back(spread.standardDeviation ? threeDecimals(*spread.standardDeviation)
                                                         : "–");
            }
            table.row(cells);
            if (cluster.participants.size() == 1) single.push_back(std::to_string(cluster.cluster));
        }
    }
    if (!single.empty())
        document_.paragraph(
            "–: one participant has cluster " + joined(single, ", ") +
                ", so there is no standard deviation and no confidence interval of its mean.",
            {.size = 8.5});
}

void ReportPages::plotPages() {
    document_.heading("Every participant on a plot");
    if (numbers_.clusters.empty()) {
        document_.paragraph("No participant has a cluster: there is nothing to plot.");
        return;
    }
    document_.paragraph(
        "One dot per participant and cluster, spread sideways so that equal values stay visible "
        "(the same spread on every run). Beside the dots, the mean with its 95% confidence "
        "interval, mean ± t(0.975, n − 1) × SD / √n. Flagged values (next page) are orange and "
        "labelled with the subject where there is room.",
        {.size = 8.5}, 8);
    const int clusters = static_cast<int>(numbers_.clusters.size());
    for (int first = 1; first <= clusters; first += ClustersPerPlot) {
        if (first > 1) document_.newPage();
        const int last = std::min(clusters, first + ClustersPerPlot - 1);
        const double height = (Document::bottom() - document_.y) / 3;
        for (const Measure measure : Measures) {
            const Box area{Document::left() + AxisRoom, document_.y + 16,
                           Document::width() - AxisRoom, height - 62};
            document_.text(Document::left(), document_.y,
                           std::string(nameOf(measure)) + ": " +
                               std::string(descriptionOf(measure)),
                           {.size = 9, .bold = true});
            stripPlot(measure, area, first, last);
            document_.y += height;
        }
    }
}

void ReportPages::stripPlot(Measure measure, Box area, int first, int last) {
    double highest = 0;
    for (const ClusterNumbers& cluster : numbers_.clusters)
        for (const std::size_t p : cluster.participants)
            highest =
                std::max(highest, static_cast<double>(valueOf(
                                      input_.results[p].clusters[cluster.cluster - 1], measure)));
    const ValueAxis axis(area, roundScale(0, highest / 1000, 6));
    axis.draw(document_, nameOf(measure));
    const auto yOf = [&axis](double thousandths) { return axis.yOf(thousandths / 1000); };

    const double columnWidth = area.width / (last - first + 1);
    const StripGeometry strip(columnWidth);
    const std::size_t crowd = numbers_.clusters.front().participants.size();
    const double radius = dotRadius(crowd);
    Dots dots(area, radius, {DotColor.red, DotColor.green, DotColor.blue, dotAlpha(crowd)}, crowd);
    Dots flaggedDots(area, std::max(radius, 1.6), FlagColor, 0);
    LabelPlaces labels({area.x, area.y - 4, area.width + 40, area.height + 8});
    std::vector<std::string> unlabelled;
    std::vector<std::string> noInterval;
    cairo_t* cr = document_.cairo();
    for (int c = first; c <= last; ++c) {
        const ClusterNumbers& cluster = numbers_.clusters[c - 1];
        const double x = area.x + (c - first) * columnWidth;
        for (const std::size_t p : cluster.participants)
            dots.add(x + strip.dotX(spread(p, c)),
                     yOf(static_cast<double>(valueOf(input_.results[p].clusters[c - 1], measure))));
        const Spread& values = cluster.spreadOf(measure);
        const double barX = x + strip.barX;
        const double tick = strip.tick;
        cairo_save(cr); // an interval wider than the axis ends at its edges
        cairo_rectangle(cr, area.x, area.y, area.width, area.height);
        cairo_clip(cr);
        if (values.halfInterval) {
            line(cr, barX, yOf(values.mean - *values.halfInterval), barX,
                 yOf(values.mean + *values.halfInterval), Ink, 0.8);
            for (const double end : {-*values.halfInterval, *values.halfInterval})
                line(cr, barX - tick / 2, yOf(values.mean + end), barX + tick / 2,
                     yOf(values.mean + end), Ink, 0.8);
        } else {
            noInterval.push_back(std::to_string(c));
        }
        line(cr, barX - tick, yOf(values.mean), barX + tick, yOf(values.mean), Ink, 1.6);
        cairo_restore(cr);
        document_.text(x + columnWidth / 2, area.bottom() + 3, std::to_string(c),
                       {.size = 7, .bold = true, .align = Align::Center});
        document_.text(x + columnWidth / 2, area.bottom() + 12, boxCounts(cluster.boxCounts),
                       {.size = 6.5, .align = Align::Center, .color = Faint});
    }
    document_.text(area.x - 4, area.bottom() + 3, "cluster", {.size = 7, .align = Align::Right});
    document_.text(area.x - 4, area.bottom() + 12, "boxes",
                   {.size = 6.5, .align = Align::Right, .color = Faint});
    dots.draw(cr);

    const TextStyle labelStyle{.size = 5.5, .width = 60, .color = FlagColor, .shortened = true};
    for (const FlaggedValue& value : numbers_.flagged) {
        if (value.measure != measure || value.cluster < first || value.cluster > last) continue;
        const double x = area.x + (value.cluster - first) * columnWidth +
                         strip.dotX(spread(value.participant, value.cluster));
        const double y = yOf(static_cast<double>(value.value));
        flaggedDots.add(x, y);
        const std::string& subject = input_.subjects[value.participant];
        const double width = document_.textWidth(subject, labelStyle);
        const double height = document_.textHeight(subject, labelStyle);
        const double gap = std::max(radius, 1.6) + 1;
        const std::optional<Box> place =
            labels.take({{x + gap, y - height / 2, width, height},
                         {x - gap - width, y - height / 2, width, height},
                         {x - width / 2, y - gap - height, width, height},
                         {x - width / 2, y + gap, width, height}});
        if (place)
            document_.text(place->x, place->y, subject, labelStyle);
        else
            unlabelled.push_back(subject);
    }
    flaggedDots.draw(cr);

    std::vector<std::string> notes;
    if (!noInterval.empty())
        notes.push_back("No confidence interval for cluster " + joined(noInterval, ", ") +
                        ": one participant has it.");
    if (!unlabelled.empty())
        notes.push_back(counted(unlabelled.size(), "flagged value is", "flagged values are") +
                        " not labelled for lack of room; the next page lists every flagged value.");
    if (!notes.empty())
        document_.text(area.x, area.bottom() + 23, joined(notes, " "),
                       {.size = 7, .width = area.width, .color = Faint});
}

void ReportPages::flaggedPages() {
    document_.heading("Who to look at");
    document_.paragraph(
        "A value is flagged when its modified z-score M lies beyond ±3.5 (Iglewicz and Hoaglin), "
        "computed per cluster and measure over the participants that have the cluster: M = "
        "(value − median) / (1.4826 × MAD), where the MAD is the median absolute deviation from "
        "the median; where the MAD is 0, M = (value − median) / (1.253314 × mean absolute "
        "deviation from the median); where that is 0 too, nothing is flagged.",
        {.size = 8.5}, 6);
    std::vector<std::string> unflaggable;
    for (const ClusterNumbers& cluster : numbers_.clusters) {
        std::vector<std::string> measures;
        for (const Measure measure : Measures)
            if (!modifiedZScore(0, cluster.spreadOf(measure)))
                measures.emplace_back(nameOf(measure));
        if (!measures.empty())
            unflaggable.push_back("cluster " + std::to_string(cluster.cluster) + ": " +
                                  joined(measures, ", "));
    }
    if (!unflaggable.empty())
        document_.paragraph("Nothing can be flagged where every participant has the same value "
                            "(" +
                                joined(unflaggable, "; ") + ").",
                            {.size = 8.5}, 6);
    if (numbers_.flagged.empty()) {
        document_.paragraph("No value is flagged.", {.size = 10, .bold = true});
        return;
    }
    flaggedTable();
    trialPlots();
}

void ReportPages::flaggedTable() {
    document_.paragraph(
        counted(numbers_.flagged.size(), "value", "values") + " of " +
            counted(numbers_.flaggedParticipants.size(), "participant", "participants") +
            " flagged, the farthest from their cluster's median first:",
        {.size = 8.5, .bold = true}, 4);
    Table table(document_,
                {{"Subject", 215, Align::Left},
                 {"Cluster", 45, Align::Right},
                 {"Measure", 50, Align::Left},
                 {"Value", 55, Align::Right},
                 {"Median", 55, Align::Right},
                 {"M", 50, Align::Right}},
                8);
    for (const FlaggedValue& value : numbers_.flagged)
        table.row({input_.subjects[value.participant], std::to_string(value.cluster),
                   std::string(nameOf(value.measure)),
                   threeDecimals(static_cast<double>(value.value)), threeDecimals(value.median),
                   zScore(value.zScore)});
}

std::string ReportPages::flagsOf(std::size_t participant) const {
    std::vector<std::string> flags;
    for (const FlaggedValue& value : numbers_.flagged)
        if (value.participant == participant)
            flags.push_back(std::string(nameOf(value.measure)) + " in cluster " +
                            std::to_string(value.cluster) + ": M " + zScore(value.zScore));
    return joined(flags, "; ");
}

void ReportPages::trialPlots() {
    document_.heading("Trial by trial");
    document_.paragraph("Boxes opened (blue) and within-search errors (orange) in each trial of "
                        "the flagged participants, cluster by cluster, the farthest first.",
                        {.size = 8.5}, 6);
    const std::vector<std::size_t>& flagged = numbers_.flaggedParticipants;
    const std::size_t plotted = std::min(flagged.size(), MostTrialPlots);
    constexpr double Height = 118;
    const double width = (Document::width() - 20) / 2;
    for (std::size_t i = 0; i < plotted; i += 2) {
        document_.makeRoom(Height);
        for (std::size_t j = i; j < std::min(plotted, i + 2); ++j)
            trialPlot(flagged[j], {Document::left() + static_cast<double>(j - i) * (width + 20),
                                   document_.y, width, Height});
        document_.y += Height + 8;
    }
    if (flagged.size() > plotted) {
        std::vector<std::string> rest;
        for (std::size_t i = plotted; i < flagged.size(); ++i)
            rest.push_back(input_.subjects[flagged[i]]);
        document_.paragraph("Also flagged, without a plot: " + joined(rest, ", ") + ".",
                            {.size = 8});
    }
}

void ReportPages::trialPlot(std::size_t participant, Box box) {
    const ParticipantResult& result = input_.results[participant];
    const TextStyle title{.size = 8, .bold = true, .width = box.width, .shortened = true};
    document_.text(box.x, box.y, input_.subjects[participant], title);
    document_.text(box.x, box.y + 11, flagsOf(participant),
                   {.size = 6.5, .width = box.width, .color = FlagColor, .shortened = true});
    const Box area{box.x + 22, box.y + 30, box.width - 22, box.height - 42};
    int most = 0;
    for (const TrialResult& trial : result.trials)
        most =
            std::max({most, static_cast<int>(trial.opened), static_cast<int>(trial.withinErrors)});
    const ValueAxis axis(area, roundScale(0, most, 4));
    axis.draw(document_, "", 6);
    const double step =
        area.width / static_cast<double>(std::max<std::size_t>(1, result.trials.size()));
    cairo_t* cr = document_.cairo();
    std::size_t at = 0;
    for (std::size_t c = 0; c < result.clusters.size(); ++c) {
        const auto trials = static_cast<std::size_t>(result.clusters[c].trials);
        const double x = area.x + static_cast<double>(at) * step;
        if (c > 0) line(cr, x, area.y, x, area.bottom(), Rule, 0.5);
        if (static_cast<double>(trials) * step >= 9)
            document_.text(x + static_cast<double>(trials) * step / 2, area.y - 8,
                           std::to_string(c + 1),
                           {.size = 5.5, .align = Align::Center, .color = Faint});
        std::vector<std::pair<double, double>> opened;
        std::vector<std::pair<double, double>> errors;
        for (std::size_t t = at; t < at + trials && t < result.trials.size(); ++t) {
            const double tx = area.x + (static_cast<double>(t) + 0.5) * step;
            opened.emplace_back(tx, axis.yOf(result.trials[t].opened));
            errors.emplace_back(tx, axis.yOf(result.trials[t].withinErrors));
        }
        polyline(cr, opened, DotColor, 0.9);
        polyline(cr, errors, FlagColor, 0.9);
        at += trials;
    }
    document_.text(area.x + area.width / 2, area.bottom() + 2, "trials, cluster by cluster",
                   {.size = 5.5, .align = Align::Center, .color = Faint});
}

void ReportPages::checkPage() {
    document_.heading("What --check says");
    document_.paragraph("For " + std::string(input_.checkedFor) +
                            ", as dozorira-batch --check prints it: every task file that fails, "
                            "with its message, and every warning, then the count.",
                        {.size = 8.5}, 6);
    for (std::size_t i = 0; i < input_.checkLines.size(); ++i) {
        const bool summary = i + 1 == input_.checkLines.size();
        document_.paragraph(input_.checkLines[i], {.size = 7, .bold = summary, .mono = true}, 3);
    }
}

} // namespace

void drawReport(Document& document, const ReportInput& input) {
    ReportPages(document, input).draw();
}

} // namespace dozorira::report
