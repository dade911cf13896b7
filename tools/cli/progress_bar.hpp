// The bar of the progress line the programs draw on a terminal.
#ifndef CLI__PROGRESS_BAR_HPP_
#define CLI__PROGRESS_BAR_HPP_

#include <string>

namespace sweepmend
{
namespace cli
{

/// 30 characters, '#' for the share `done` of `total` (rounded) and '.' for the rest; full when
/// total is not positive.
std::string progress_bar(double done, double total);

}  // namespace cli
}  // namespace sweepmend

#endif  // CLI__PROGRESS_BAR_HPP_
