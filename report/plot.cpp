#include "plot.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>

namespace dozorira::report {
namespace {

// Above this many dots, an image of the dots costs less to write and to show than the dots.
constexpr std::size_t MostVectorDots = 6000;
// Vector dots are drawn in this many layers, in which overlapping dots darken one another.
constexpr std::size_t Layers = 4;
constexpr double ImageDotsPerInch = 200;

// channel × fraction / 255, rounded, as cairo's compositing rounds it.
std::uint32_t scaled(std::uint32_t channel, std::uint32_t fraction) {
    const std::uint32_t product = channel * fraction + 128;
    return (product + (product >> 8)) >> 8;
}

// Paints source over target with its top left at x, y, as cairo's OVER does: both hold
// premultiplied ARGB in 32-bit pixels.
void paintOver(cairo_surface_t* target, cairo_surface_t* source, int x, int y) {
    const int width = cairo_image_surface_get_width(source);
    const int height = cairo_image_surface_get_height(source);
    const int targetWidth = cairo_image_surface_get_width(target);
    const int targetHeight = cairo_image_surface_get_height(target);
    for (int row = std::max(0, -y); row < height && y + row < targetHeight; ++row) {
        const auto* from = reinterpret_cast<const std::uint32_t*>(
            cairo_image_surface_get_data(source) +
            static_cast<std::ptrdiff_t>(row) * cairo_image_surface_get_stride(source));
        auto* to = reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(target) +
                                                    static_cast<std::ptrdiff_t>(y + row) *
                                                        cairo_image_surface_get_stride(target));
        for (int column = std::max(0, -x); column < width && x + column < targetWidth; ++column) {
            const std::uint32_t pixel = from[column];
            const std::uint32_t rest = 255 - (pixel >> 24);
            std::uint32_t& under = to[x + column];
            std::uint32_t result = 0;
            for (int shift = 0; shift < 32; shift += 8)
                result |= (((pixel >> shift) & 0xFF) + scaled((under >> shift) & 0xFF, rest))
                          << shift;
            under = result;
        }
    }
}

} // namespace

double ValueAxis::yOf(double value) const {
    return area_.bottom() - (value - scale_.low) / (scale_.high - scale_.low) * area_.height;
}

void ValueAxis::draw(Document& document, std::string_view name, double textSize) const {
    cairo_t* cr = document.cairo();
    for (const double tick : scale_.ticks()) {
        const double y = yOf(tick);
        line(cr, area_.x, y, area_.right(), y, Rule, 0.4);
        line(cr, area_.x - 3, y, area_.x, y, Ink, 0.6);
        const TextStyle style{.size = textSize, .align = Align::Right};
        document.text(area_.x - 4, y - document.textHeight("0", style) / 2, scale_.label(tick),
                      style);
    }
    line(cr, area_.x, area_.y, area_.x, area_.bottom(), Ink, 0.6);
    line(cr, area_.x, area_.bottom(), area_.right(), area_.bottom(), Ink, 0.6);
    // The name reads upward along the axis, centred on it.
    const TextStyle style{.size = textSize, .align = Align::Center, .width = area_.height};
    cairo_save(cr);
    cairo_translate(cr, area_.x - 6 - 4 * textSize - document.textHeight("0", style),
                    area_.bottom());
    cairo_rotate(cr, -std::numbers::pi / 2);
    document.text(0, 0, name, style);
    cairo_restore(cr);
}

Dots::Dots(const Box& area, double radius, const Color& color, std::size_t expected)
    : area_(area), radius_(radius), color_(color) {
    centres_.reserve(expected);
}

void Dots::draw(cairo_t* cr) const {
    if (centres_.size() <= MostVectorDots)
        drawAsVectors(cr);
    else
        drawAsImage(cr);
}

// A stroke of zero length with round caps is a dot, and costs far less to write than a circle.
void Dots::drawAsVectors(cairo_t* cr) const {
    cairo_save(cr);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, 2 * radius_);
    setColor(cr, color_);
    for (std::size_t layer = 0; layer < Layers; ++layer) {
        for (std::size_t i = layer; i < centres_.size(); i += Layers) {
            cairo_move_to(cr, centres_[i].x, centres_[i].y);
            cairo_line_to(cr, centres_[i].x, centres_[i].y);
        }
        cairo_stroke(cr);
    }
    cairo_restore(cr);
}

// One dot is drawn by cairo once, then copied onto every centre of an image of the area: cairo
// would take as long to set up each copy as the whole copy takes by hand.
void Dots::drawAsImage(cairo_t* cr) const {
    const double scale = ImageDotsPerInch / 72;
    const int size = static_cast<int>(std::ceil(2 * radius_ * scale)) + 2;
    cairo_surface_t* dot = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
    cairo_t* dotCr = cairo_create(dot);
    setColor(dotCr, color_);
    cairo_arc(dotCr, size / 2.0, size / 2.0, radius_ * scale, 0, 2 * std::numbers::pi);
    cairo_fill(dotCr);
    cairo_destroy(dotCr);
    cairo_surface_flush(dot);

    const double margin = radius_ + 1; // dots at the edge of the area are whole
    cairo_surface_t* image = cairo_image_surface_create(
        CAIRO_FORMAT_ARGB32, static_cast<int>(std::ceil((area_.width + 2 * margin) * scale)),
        static_cast<int>(std::ceil((area_.height + 2 * margin) * scale)));
    cairo_surface_flush(image);
    for (const Point& centre : centres_)
        paintOver(
            image, dot,
            static_cast<int>(std::lround((centre.x - area_.x + margin) * scale - size / 2.0)),
            static_cast<int>(std::lround((centre.y - area_.y + margin) * scale - size / 2.0)));
    cairo_surface_mark_dirty(image);
    cairo_surface_destroy(dot);

    cairo_save(cr);
    cairo_translate(cr, area_.x - margin, area_.y - margin);
    cairo_scale(cr, 1 / scale, 1 / scale);
    cairo_set_source_surface(cr, image, 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);
    cairo_surface_destroy(image);
}

void polyline(cairo_t* cr, const std::vector<std::pair<double, double>>& points, const Color& color,
              double width) {
    if (points.empty()) return;
    cairo_save(cr);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_move_to(cr, points.front().first, points.front().second);
    for (const auto& [x, y] : points)
        cairo_line_to(cr, x, y);
    setColor(cr, color);
    cairo_set_line_width(cr, width);
    cairo_stroke(cr);
    cairo_restore(cr);
}

void line(cairo_t* cr, double x0, double y0, double x1, double y1, const Color& color,
          double width) {
    polyline(cr, {{x0, y0}, {x1, y1}}, color, width);
}

std::optional<Box> LabelPlaces::take(const std::vector<Box>& candidates) {
    for (const Box& candidate : candidates) {
        if (candidate.x < bounds_.x || candidate.right() > bounds_.right() ||
            candidate.y < bounds_.y || candidate.bottom() > bounds_.bottom())
            continue;
        bool free = true;
        for (const Box& taken : taken_)
            free = free && !candidate.overlaps(taken);
        if (!free) continue;
        taken_.push_back(candidate);
        return candidate;
    }
    return std::nullopt;
}

} // namespace dozorira::report
