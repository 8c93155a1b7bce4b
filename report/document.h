#pragma once

#include "report_input.h"

#include <cairo.h>
#include <cstdint>
#include <memory>
#include <pango/pango.h>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dozorira::report {

struct Color {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;
};

inline constexpr Color Ink = {0.1, 0.1, 0.1};
inline constexpr Color Faint = {0.45, 0.45, 0.45};
inline constexpr Color Rule = {0.8, 0.8, 0.8};
inline constexpr Color DotColor = {0.16, 0.33, 0.62};
inline constexpr Color FlagColor = {0.85, 0.3, 0.05}; // the second colour: flagged values

void setColor(cairo_t* cr, const Color& color);

enum class Align { Left, Center, Right };

struct TextStyle {
    double size = 9; // points
    bool bold = false;
    bool mono = false;
    Align align = Align::Left;
    double width = 0; // where the text wraps, and the room it is aligned in; 0 for one line
    Color color = Ink;
    bool shortened = false; // one line, cut to the width with an ellipsis, rather than wrapped
};

// A PDF of A4 portrait pages with text laid out by pango in the DejaVu fonts, embedded as subsets,
// and a cursor that flowing content moves down the page. Every page gets a footer with its
// number. The document is reproducible: its dates are the run's, in UTC, and its fonts the same
// files on every machine, whatever fonts the system has besides.
class Document {
public:
    static constexpr double PageWidth = 595.276; // A4, in points
    static constexpr double PageHeight = 841.89;
    static constexpr double Margin = 48;

    struct Sink {
        ByteSink write;
        void* context;
    };

    // Fails with a std::runtime_error when a font cannot be loaded.
    Document(ByteSink sink, void* context, std::int64_t time, std::string_view creator);
    ~Document();
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    cairo_t* cairo() const { return cairo_; }
    static double left() { return Margin; }
    static double right() { return PageWidth - Margin; }
    static double width() { return right() - left(); }
    static double top() { return Margin; }
    static double bottom() { return PageHeight - Margin - 14; } // above the footer
    // "2023-11-14 22:13:20 UTC"
    const std::string& runTime() const { return runTime_; }

    // Where the next flowing content begins.
    double y = top();
    // A new page unless height fits below the cursor.
    void makeRoom(double height);
    void newPage();
    // Ends the last page and the file: empty, or what went wrong.
    std::string finish();

    // Text whose top left (or top centre, or top right) is x, y; returns its height.
    double text(double x, double y, std::string_view text, const TextStyle& style);
    double textWidth(std::string_view text, const TextStyle& style);
    double textHeight(std::string_view text, const TextStyle& style);
    // A paragraph across the page at the cursor, which moves below it.
    void paragraph(std::string_view text, const TextStyle& style = {}, double spaceAfter = 4);
    void heading(std::string_view text);

private:
    void layOut(std::string_view text, const TextStyle& style);
    // Width and height in points of the text as laid out.
    std::pair<double, double> textSize(std::string_view text, const TextStyle& style);
    void footer();

    Sink sink_;
    PangoFontMap* fonts_ = nullptr;
    cairo_surface_t* surface_ = nullptr;
    cairo_t* cairo_ = nullptr;
    PangoContext* context_ = nullptr;
    PangoLayout* layout_ = nullptr;
    std::string runTime_;
    int page_ = 1;
};

// A table across the page at the document's cursor, which runs over as many pages as its rows
// need, its column titles again at the top of each.
struct TableColumn {
    std::string title;
    double width = 0; // points
    Align align = Align::Left;
};

class Table {
public:
    Table(Document& document, std::vector<TableColumn> columns, double textSize = 8);
    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    void row(const std::vector<std::string>& cells, bool bold = false);

private:
    void titles();
    double left() const;

    Document& document_;
    std::vector<TableColumn> columns_;
    double textSize_;
};

} // namespace dozorira::report
