// A picture of one scored scan.
#ifndef EVAL__PLOT_HPP_
#define EVAL__PLOT_HPP_

#include <string>

#include "eval/evaluation.hpp"

namespace sweepmend
{
namespace eval
{

/// Draws the scan seen from above (x right, y up, in the output frame at the scan end time)
/// into a PNG file: raw, undistorted and truth points in three colours, with a legend that gives
/// the mean errors, metre axes and a scale bar. Only points with z in [z_min, z_max] (m) are
/// drawn, so that walls and pillars are not buried under floor and ceiling. Throws
/// std::runtime_error when the file cannot be written.
void draw_top_view(const ScanPoints & scan, const std::string & png_path, double z_min = -1.0,
  double z_max = 2.0);

}  // namespace eval
}  // namespace sweepmend

#endif  // EVAL__PLOT_HPP_
