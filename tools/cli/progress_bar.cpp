#include "cli/progress_bar.hpp"

#include <algorithm>

namespace sweepmend
{
namespace cli
{

std::string progress_bar(double done, double total)
{
  const int width = 30;
  const double frac = total > 0.0 ? std::min(1.0, std::max(0.0, done / total)) : 1.0;
  const int filled = static_cast<int>(frac * width + 0.5);
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(width - filled), '.');
  return bar;
}

}  // namespace cli
}  // namespace sweepmend
