#include "eval/plot.hpp"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace sweepmend
{
namespace eval
{

namespace
{

constexpr double kPi = 3.14159265358979323846;
constexpr int kWidth = 1400;
constexpr int kHeight = 1200;
constexpr double kLeft = 80.0;
constexpr double kRight = 30.0;
constexpr double kTop = 60.0;
constexpr double kBottom = 70.0;

struct Rgba
{
  double r, g, b, a;
};
constexpr Rgba kRawColour{0.86, 0.20, 0.15, 0.55};
constexpr Rgba kUndistortedColour{0.10, 0.35, 0.85, 0.65};
constexpr Rgba kTruthColour{0.05, 0.05, 0.05, 0.85};

// 1, 2 or 5 times a power of ten, about range / target_count.
double nice_step(double range, double target_count)
{
  const double raw = range / target_count;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    if (m * power >= raw) {
      return m * power;
    }
  }
  return 10.0 * power;
}

std::string format_metres(double v)
{
  char buf[32];
  std::snprintf(buf, sizeof(buf), "%g", std::abs(v) < 1e-9 ? 0.0 : v);
  return buf;
}

std::string format_error(double v)
{
  char buf[32];
  std::snprintf(buf, sizeof(buf), "%.3g m", v);
  return buf;
}

// Maps metres in the output frame to pixels, x right and y up, one scale for both axes.
struct View
{
  double x0{0.0}, y0{0.0}, scale{1.0};
  double px(double x) const {return kLeft + (x - x0) * scale;}
  double py(double y) const {return kTop + (y0 - y) * scale;}
};

void set_colour(cairo_t * cr, const Rgba & c)
{
  cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
}

struct Band
{
  double z_min, z_max;
  bool contains(const CloudPoint & p) const
  {
    return std::isfinite(p.x) && std::isfinite(p.y) && p.z >= z_min && p.z <= z_max;
  }
};

void draw_points(cairo_t * cr, const View & view, const Band & band,
  const std::vector<CloudPoint> & points, const Rgba & colour, double size)
{
  set_colour(cr, colour);
  for (const CloudPoint & p : points) {
    if (!band.contains(p)) {
      continue;
    }
    cairo_rectangle(cr, view.px(p.x) - 0.5 * size, view.py(p.y) - 0.5 * size, size, size);
  }
  cairo_fill(cr);
}

void text_at(cairo_t * cr, const std::string & text, double x, double y, double align_x,
  double align_y)
{
  cairo_text_extents_t ext;
  cairo_text_extents(cr, text.c_str(), &ext);
  cairo_move_to(cr, x - align_x * ext.width - ext.x_bearing,
    y - align_y * ext.height - ext.y_bearing);
  cairo_show_text(cr, text.c_str());
}

}  // namespace

void draw_top_view(const ScanPoints & scan, const std::string & png_path, double z_min,
  double z_max)
{
  const Band band{z_min, z_max};
  // The extent of the truth (or of whatever is there) decides the view.
  const std::vector<CloudPoint> & frame_points = !scan.truth.empty() ? scan.truth :
    (!scan.undistorted.empty() ? scan.undistorted : scan.raw);
  double min_x = std::numeric_limits<double>::infinity();
  double min_y = min_x;
  double max_x = -min_x;
  double max_y = -min_x;
  for (const CloudPoint & p : frame_points) {
    if (band.contains(p)) {
      min_x = std::min(min_x, static_cast<double>(p.x));
      max_x = std::max(max_x, static_cast<double>(p.x));
      min_y = std::min(min_y, static_cast<double>(p.y));
      max_y = std::max(max_y, static_cast<double>(p.y));
    }
  }
  if (!(min_x <= max_x)) {
    min_x = min_y = -1.0;
    max_x = max_y = 1.0;
  }
  const double pad = 0.03 * std::max({max_x - min_x, max_y - min_y, 1.0});
  min_x -= pad;
  max_x += pad;
  min_y -= pad;
  max_y += pad;
  const double plot_w = kWidth - kLeft - kRight;
  const double plot_h = kHeight - kTop - kBottom;
  View view;
  view.scale = std::min(plot_w / (max_x - min_x), plot_h / (max_y - min_y));
  // Centre the data in the plot area.
  view.x0 = 0.5 * (min_x + max_x) - 0.5 * plot_w / view.scale;
  view.y0 = 0.5 * (min_y + max_y) + 0.5 * plot_h / view.scale;

  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
    cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight), &cairo_surface_destroy);
  std::unique_ptr<cairo_t, decltype(&cairo_destroy)> context(cairo_create(surface.get()),
    &cairo_destroy);
  cairo_t * cr = context.get();
  cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
  cairo_paint(cr);
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);

  // Grid, ticks and labels.
  const double x_lo = view.x0;
  const double x_hi = view.x0 + plot_w / view.scale;
  const double y_hi = view.y0;
  const double y_lo = view.y0 - plot_h / view.scale;
  const double step = nice_step(std::max(x_hi - x_lo, y_hi - y_lo), 10.0);
  cairo_set_font_size(cr, 13.0);
  cairo_set_line_width(cr, 1.0);
  for (double x = std::ceil(x_lo / step) * step; x <= x_hi; x += step) {
    cairo_set_source_rgb(cr, 0.9, 0.9, 0.9);
    cairo_move_to(cr, view.px(x), kTop);
    cairo_line_to(cr, view.px(x), kTop + plot_h);
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    cairo_move_to(cr, view.px(x), kTop + plot_h);
    cairo_line_to(cr, view.px(x), kTop + plot_h + 6.0);
    cairo_stroke(cr);
    text_at(cr, format_metres(x), view.px(x), kTop + plot_h + 10.0, 0.5, 0.0);
  }
  for (double y = std::ceil(y_lo / step) * step; y <= y_hi; y += step) {
    cairo_set_source_rgb(cr, 0.9, 0.9, 0.9);
    cairo_move_to(cr, kLeft, view.py(y));
    cairo_line_to(cr, kLeft + plot_w, view.py(y));
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    cairo_move_to(cr, kLeft - 6.0, view.py(y));
    cairo_line_to(cr, kLeft, view.py(y));
    cairo_stroke(cr);
    text_at(cr, format_metres(y), kLeft - 10.0, view.py(y), 1.0, 0.5);
  }
  cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
  cairo_rectangle(cr, kLeft, kTop, plot_w, plot_h);
  cairo_stroke(cr);
  cairo_set_font_size(cr, 15.0);
  text_at(cr, "x (m)", kLeft + 0.5 * plot_w, kHeight - 22.0, 0.5, 0.5);
  cairo_save(cr);
  cairo_translate(cr, 22.0, kTop + 0.5 * plot_h);
  cairo_rotate(cr, -kPi / 2.0);
  text_at(cr, "y (m)", 0.0, 0.0, 0.5, 0.5);
  cairo_restore(cr);

  char title[200];
  std::snprintf(title, sizeof(title),
    "scan %zu, end time %lld.%06lld s: top view in the output frame, points with z from %g to "
    "%g m", scan.score.index, static_cast<long long>(scan.score.stamp_ns / 1000000000),
    static_cast<long long>(scan.score.stamp_ns % 1000000000 / 1000), z_min, z_max);
  cairo_set_font_size(cr, 17.0);
  text_at(cr, title, kLeft, 0.5 * kTop, 0.0, 0.5);

  // Points, clipped to the plot area: raw under undistorted under the truth.
  cairo_save(cr);
  cairo_rectangle(cr, kLeft, kTop, plot_w, plot_h);
  cairo_clip(cr);
  draw_points(cr, view, band, scan.raw, kRawColour, 2.2);
  draw_points(cr, view, band, scan.undistorted, kUndistortedColour, 2.2);
  draw_points(cr, view, band, scan.truth, kTruthColour, 1.0);
  // The sensor at the scan end time (origin of the output frame).
  cairo_set_source_rgb(cr, 0.0, 0.55, 0.0);
  cairo_set_line_width(cr, 2.0);
  cairo_move_to(cr, view.px(0.0) - 8.0, view.py(0.0));
  cairo_line_to(cr, view.px(0.0) + 8.0, view.py(0.0));
  cairo_move_to(cr, view.px(0.0), view.py(0.0) - 8.0);
  cairo_line_to(cr, view.px(0.0), view.py(0.0) + 8.0);
  cairo_stroke(cr);
  cairo_restore(cr);

  // Scale bar, bottom left inside the plot.
  const double bar = nice_step(plot_w / view.scale, 6.0);
  const double bx = kLeft + 20.0;
  const double by = kTop + plot_h - 25.0;
  cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
  cairo_rectangle(cr, bx - 8.0, by - 28.0, bar * view.scale + 16.0, 40.0);
  cairo_fill(cr);
  cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
  cairo_set_line_width(cr, 3.0);
  cairo_move_to(cr, bx, by);
  cairo_line_to(cr, bx + bar * view.scale, by);
  cairo_stroke(cr);
  cairo_set_line_width(cr, 1.5);
  for (double x : {bx, bx + bar * view.scale}) {
    cairo_move_to(cr, x, by - 6.0);
    cairo_line_to(cr, x, by + 6.0);
  }
  cairo_stroke(cr);
  cairo_set_font_size(cr, 14.0);
  text_at(cr, format_metres(bar) + " m", bx + 0.5 * bar * view.scale, by - 10.0, 0.5, 1.0);

  // Legend, top right inside the plot.
  const std::string labels[3] = {
    "raw" + (scan.score.raw.present ? " (mean error " + format_error(scan.score.raw.stats.mean) +
    ")" : std::string()),
    "undistorted" + (scan.score.undistorted.present ?
    " (mean error " + format_error(scan.score.undistorted.stats.mean) + ")" : std::string()),
    "ground truth"};
  const Rgba colours[3] = {kRawColour, kUndistortedColour, kTruthColour};
  cairo_set_font_size(cr, 14.0);
  double text_w = 0.0;
  for (const std::string & l : labels) {
    cairo_text_extents_t ext;
    cairo_text_extents(cr, l.c_str(), &ext);
    text_w = std::max(text_w, ext.x_advance);
  }
  const double lw = text_w + 50.0;
  const double lh = 3 * 24.0 + 14.0;
  const double lx = kLeft + plot_w - lw - 12.0;
  const double ly = kTop + 12.0;
  cairo_set_source_rgba(cr, 1.0, 1.0, 1.0, 0.92);
  cairo_rectangle(cr, lx, ly, lw, lh);
  cairo_fill_preserve(cr);
  cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
  cairo_set_line_width(cr, 1.0);
  cairo_stroke(cr);
  for (int i = 0; i < 3; ++i) {
    const double cy = ly + 19.0 + 24.0 * i;
    set_colour(cr, {colours[i].r, colours[i].g, colours[i].b, 1.0});
    cairo_rectangle(cr, lx + 12.0, cy - 6.0, 16.0, 12.0);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    text_at(cr, labels[i], lx + 38.0, cy, 0.0, 0.5);
  }

  cairo_surface_flush(surface.get());
  const cairo_status_t status = cairo_surface_write_to_png(surface.get(), png_path.c_str());
  if (status != CAIRO_STATUS_SUCCESS) {
    throw std::runtime_error("cannot write " + png_path + ": " +
            cairo_status_to_string(status));
  }
}

}  // namespace eval
}  // namespace sweepmend
