#pragma once

#include "document.h"
#include "scale.h"

#include <cairo.h>
#include <optional>
#include <string_view>
#include <vector>

namespace dozorira::report {

// A rectangle on the page, in points, y growing downward.
struct Box {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    double right() const { return x + width; }
    double bottom() const { return y + height; }
    bool overlaps(const Box& other) const {
        return x < other.right() && other.x < right() && y < other.bottom() && other.y < bottom();
    }
};

// Everything of a plot that is drawn by hand, rather than laid out by pango, is here: axes, ticks,
// dots and lines.

// A value axis up the left side of a plot area: ticks at round numbers with their labels, light
// grid lines across the area, and the axis's name beside them.
class ValueAxis {
public:
    ValueAxis(const Box& area, const Scale& scale) : area_(area), scale_(scale) {}

    double yOf(double value) const;
    const Box& area() const { return area_; }
    void draw(Document& document, std::string_view name, double textSize = 7) const;

private:
    Box area_;
    Scale scale_;
};

// Round dots of one colour. While they are few they are drawn as vectors, in a few layers so that
// overlapping dots darken; past that they are painted into an image of the area, which keeps the
// file small and quick to show however many participants a study has.
class Dots {
public:
    Dots(const Box& area, double radius, const Color& color, std::size_t expected);

    void add(double x, double y) { centres_.push_back({x, y}); }
    void draw(cairo_t* cr) const;

private:
    struct Point {
        double x;
        double y;
    };
    void drawAsVectors(cairo_t* cr) const;
    void drawAsImage(cairo_t* cr) const;

    Box area_;
    double radius_;
    Color color_;
    std::vector<Point> centres_;
};

// A line through points, one stroke.
void polyline(cairo_t* cr, const std::vector<std::pair<double, double>>& points, const Color& color,
              double width);
void line(cairo_t* cr, double x0, double y0, double x1, double y1, const Color& color,
          double width);

// Where text labels go without covering one another: each takes the first of the places offered
// that is free and inside the bounds.
class LabelPlaces {
public:
    explicit LabelPlaces(const Box& bounds) : bounds_(bounds) {}
    // The place taken, or nothing when none is free.
    std::optional<Box> take(const std::vector<Box>& candidates);

private:
    Box bounds_;
    std::vector<Box> taken_;
};

} // namespace dozorira::report
