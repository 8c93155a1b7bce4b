#include "document.h"

#include <algorithm>
#include <array>
#include <cairo-pdf.h>
#include <ctime>
#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>
#include <stdexcept>

namespace dozorira::report {
namespace {

constexpr double CellPadding = 3;

cairo_status_t writeBytes(void* closure, const unsigned char* data, unsigned int length) {
    const auto* sink = static_cast<const Document::Sink*>(closure);
    return sink->write(sink->context, data, length) ? CAIRO_STATUS_SUCCESS
                                                    : CAIRO_STATUS_WRITE_ERROR;
}

std::string utcTime(std::int64_t seconds, const char* pattern) {
    const auto time = static_cast<std::time_t>(seconds);
    std::tm utc{};
    std::array<char, 64> text{};
    if (!::gmtime_r(&time, &utc) || std::strftime(text.data(), text.size(), pattern, &utc) == 0)
        return "?";
    return text.data();
}

// Only these font files, whatever the system's fontconfig would choose, so that a report has the
// same bytes on every machine.
PangoFontMap* dejaVuFonts() {
    FcConfig* config = FcConfigCreate();
    for (const char* name : {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf", "DejaVuSansMono.ttf"}) {
        const std::string file = std::string(DOZORIRA_FONT_FOLDER) + "/" + name;
        if (!FcConfigAppFontAddFile(config, reinterpret_cast<const FcChar8*>(file.c_str()))) {
            FcConfigDestroy(config);
            throw std::runtime_error("cannot load the font " + file +
                                     " (Debian package fonts-dejavu-core)");
        }
    }
    // The configuration of the process too: cairo and pango would otherwise read the system's
    // (every file of /etc/fonts, at some milliseconds) only to choose among these files.
    FcConfigSetCurrent(config);
    PangoFontMap* fonts = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
    pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(fonts), config);
    FcConfigDestroy(config);
    return fonts;
}

PangoAlignment pangoAlignment(Align align) {
    switch (align) {
    case Align::Left: return PANGO_ALIGN_LEFT;
    case Align::Center: return PANGO_ALIGN_CENTER;
    case Align::Right: return PANGO_ALIGN_RIGHT;
    }
    return PANGO_ALIGN_LEFT;
}

} // namespace

void setColor(cairo_t* cr, const Color& color) {
    cairo_set_source_rgba(cr, color.red, color.green, color.blue, color.alpha);
}

Document::Document(ByteSink sink, void* context, std::int64_t time, std::string_view creator)
    : sink_{sink, context}, fonts_(dejaVuFonts()),
      runTime_(utcTime(time, "%Y-%m-%d %H:%M:%S UTC")) {
    surface_ = cairo_pdf_surface_create_for_stream(writeBytes, &sink_, PageWidth, PageHeight);
    const std::string date = utcTime(time, "%Y-%m-%dT%H:%M:%SZ");
    cairo_pdf_surface_set_metadata(surface_, CAIRO_PDF_METADATA_CREATE_DATE, date.c_str());
    cairo_pdf_surface_set_metadata(surface_, CAIRO_PDF_METADATA_MOD_DATE, date.c_str());
    cairo_pdf_surface_set_metadata(surface_, CAIRO_PDF_METADATA_TITLE, "Study report");
    cairo_pdf_surface_set_metadata(surface_, CAIRO_PDF_METADATA_CREATOR,
                                   std::string(creator).c_str());
    cairo_ = cairo_create(surface_);
    context_ = pango_font_map_create_context(fonts_);
    // Shaping follows the context's language, which would otherwise come from the locale.
    pango_context_set_language(context_, pango_language_from_string("en"));
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    pango_cairo_context_set_font_options(context_, options);
    cairo_font_options_destroy(options);
    layout_ = pango_layout_new(context_);
}

Document::~Document() {
    g_object_unref(layout_);
    g_object_unref(context_);
    g_object_unref(fonts_);
    cairo_destroy(cairo_);
    cairo_surface_destroy(surface_);
}

void Document::makeRoom(double height) {
    if (y + height > bottom() && y > top()) newPage();
}

void Document::newPage() {
    footer();
    cairo_show_page(cairo_);
    ++page_;
    y = top();
}

std::string Document::finish() {
    footer();
    cairo_show_page(cairo_);
    cairo_surface_finish(surface_);
    if (const cairo_status_t status = cairo_status(cairo_); status != CAIRO_STATUS_SUCCESS)
        return cairo_status_to_string(status);
    if (const cairo_status_t status = cairo_surface_status(surface_);
        status != CAIRO_STATUS_SUCCESS)
        return cairo_status_to_string(status);
    return {};
}

void Document::footer() {
    const TextStyle style{.size = 7, .color = Faint};
    text(left(), PageHeight - Margin, "Dozorira study report, run " + runTime_, style);
    text(right(), PageHeight - Margin, "page " + std::to_string(page_),
         {.size = 7, .align = Align::Right, .color = Faint});
}

void Document::layOut(std::string_view text, const TextStyle& style) {
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family_static(font, style.mono ? "DejaVu Sans Mono" : "DejaVu Sans");
    pango_font_description_set_weight(font, style.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_absolute_size(font, style.size * PANGO_SCALE);
    pango_layout_set_font_description(layout_, font);
    pango_font_description_free(font);
    pango_layout_set_width(layout_,
                           style.width > 0 ? static_cast<int>(style.width * PANGO_SCALE) : -1);
    pango_layout_set_wrap(layout_, PANGO_WRAP_WORD_CHAR);
    pango_layout_set_ellipsize(layout_,
                               style.shortened ? PANGO_ELLIPSIZE_END : PANGO_ELLIPSIZE_NONE);
    pango_layout_set_alignment(layout_, pangoAlignment(style.align));
    pango_layout_set_text(layout_, text.data(), static_cast<int>(text.size()));
}

double Document::text(double x, double y, std::string_view text, const TextStyle& style) {
    layOut(text, style);
    int width = 0;
    int height = 0;
    pango_layout_get_size(layout_, &width, &height);
    // Without a width to align in, the text's own width places it.
    if (style.width <= 0 && style.align != Align::Left)
        x -= static_cast<double>(width) / PANGO_SCALE / (style.align == Align::Center ? 2 : 1);
    setColor(cairo_, style.color);
    cairo_move_to(cairo_, x, y);
    pango_cairo_show_layout(cairo_, layout_);
    return static_cast<double>(height) / PANGO_SCALE;
}

std::pair<double, double> Document::textSize(std::string_view text, const TextStyle& style) {
    layOut(text, style);
    int width = 0;
    int height = 0;
    pango_layout_get_size(layout_, &width, &height);
    return {static_cast<double>(width) / PANGO_SCALE, static_cast<double>(height) / PANGO_SCALE};
}

double Document::textWidth(std::string_view text, const TextStyle& style) {
    return textSize(text, style).first;
}

double Document::textHeight(std::string_view text, const TextStyle& style) {
    return textSize(text, style).second;
}

void Document::paragraph(std::string_view text, const TextStyle& style, double spaceAfter) {
    TextStyle across = style;
    if (across.width <= 0) across.width = width();
    makeRoom(textHeight(text, across));
    y += this->text(left(), y, text, across) + spaceAfter;
}

void Document::heading(std::string_view text) {
    makeRoom(60); // a heading never ends a page
    y += 4;
    paragraph(text, {.size = 13, .bold = true}, 6);
}

Table::Table(Document& document, std::vector<TableColumn> columns, double textSize)
    : document_(document), columns_(std::move(columns)), textSize_(textSize) {
    titles();
}

Table::~Table() {
    cairo_t* cr = document_.cairo();
    setColor(cr, Faint);
    cairo_set_line_width(cr, 0.5);
    cairo_move_to(cr, left(), document_.y);
    cairo_line_to(cr, Document::right(), document_.y);
    cairo_stroke(cr);
    document_.y += 8;
}

double Table::left() const {
    double width = 0;
    for (const TableColumn& column : columns_)
        width += column.width;
    return Document::left() + std::max(0.0, (Document::width() - width) / 2);
}

void Table::titles() {
    const TextStyle style{.size = textSize_, .bold = true};
    double height = 0;
    for (const TableColumn& column : columns_)
        height = std::max(height, document_.textHeight(column.title, style));
    document_.makeRoom(height + 2 * CellPadding + 3 * textSize_);
    double x = left();
    for (const TableColumn& column : columns_) {
        TextStyle aligned = style;
        aligned.align = column.align;
        aligned.width = column.width - 2 * CellPadding;
        document_.text(x + CellPadding, document_.y + CellPadding, column.title, aligned);
        x += column.width;
    }
    document_.y += height + 2 * CellPadding;
    cairo_t* cr = document_.cairo();
    setColor(cr, Faint);
    cairo_set_line_width(cr, 0.5);
    cairo_move_to(cr, left(), document_.y);
    cairo_line_to(cr, x, document_.y);
    cairo_stroke(cr);
}

void Table::row(const std::vector<std::string>& cells, bool bold) {
    const TextStyle style{.size = textSize_, .bold = bold};
    double height = 0;
    for (std::size_t i = 0; i < cells.size() && i < columns_.size(); ++i) {
        TextStyle wrapped = style;
        wrapped.width = columns_[i].width - 2 * CellPadding;
        height = std::max(height, document_.textHeight(cells[i], wrapped));
    }
    if (document_.y + height + CellPadding > Document::bottom()) {
        document_.newPage();
        titles();
    }
    double x = left();
    for (std::size_t i = 0; i < cells.size() && i < columns_.size(); ++i) {
        TextStyle aligned = style;
        aligned.align = columns_[i].align;
        aligned.width = columns_[i].width - 2 * CellPadding;
        document_.text(x + CellPadding, document_.y + CellPadding / 2, cells[i], aligned);
        x += columns_[i].width;
    }
    document_.y += height + CellPadding;
}

} // namespace dozorira::report
