#include "sweepmend/log_throttle.hpp"

#include <utility>

namespace sweepmend
{

LogThrottle::LogThrottle(Clock::duration period, Now now)
: period_(period), now_(std::move(now))
{
}

bool LogThrottle::due()
{
  const Clock::time_point now = now_();
  // The first occurrence is always written, whatever the clock's epoch.
  if (started_ && now < next_) {
    ++pending_;
    return false;
  }
  started_ = true;
  next_ = now + period_;
  reported_ = pending_;
  pending_ = 0;
  return true;
}

std::string LogThrottle::note() const
{
  if (reported_ == 0) {
    return {};
  }
  return " (" + std::to_string(reported_) + " similar suppressed since the last report)";
}

}  // namespace sweepmend
