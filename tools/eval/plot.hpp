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
/// the mean errors, metre axes and a scale bar. Throws std::runtime_error when the file cannot
/// be written.
void draw_top_view(const ScanPoints & scan, const std::string & png_path);

}  // namespace eval
}  // namespace sweepmend

#endif  // EVAL__PLOT_HPP_
