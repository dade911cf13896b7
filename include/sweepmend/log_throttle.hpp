#ifndef SWEEPMEND__LOG_THROTTLE_HPP_
#define SWEEPMEND__LOG_THROTTLE_HPP_

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

namespace sweepmend
{

/// Rate limit for one repeated log record: lets it through at most once per period and counts
/// the occurrences held back in between, so that the next record can say how many there were.
///
/// Usage, keeping the record on the line of its log statement:
///   if (throttle.due()) {LOG(ERROR) << "what happened" << throttle.note();}
/// Not thread-safe: each instance belongs to one thread (or is guarded by its owner's lock).
class LogThrottle
{
public:
  using Clock = std::chrono::steady_clock;
  /// Source of the current time; tests pass a hand-driven one.
  using Now = std::function<Clock::time_point()>;

  /// @param period shortest time between two records (default 1 s)
  /// @param now clock read on every occurrence (default the steady clock)
  explicit LogThrottle(Clock::duration period = std::chrono::seconds(1), Now now = &Clock::now);

  /// Registers one occurrence. True when its record is to be written now (the first occurrence,
  /// or one at least a period after the last written record); false when it is suppressed.
  bool due();

  /// Occurrences suppressed between the previous written record and the one `due()` last let
  /// through.
  std::size_t suppressed() const {return reported_;}

  /// Text to append to the record `due()` let through: empty when nothing was suppressed,
  /// otherwise " (N similar suppressed since the last report)".
  std::string note() const;

private:
  Clock::duration period_;
  Now now_;
  bool started_{false};
  Clock::time_point next_{};
  std::size_t pending_{0};
  std::size_t reported_{0};
};

}  // namespace sweepmend

#endif  // SWEEPMEND__LOG_THROTTLE_HPP_
