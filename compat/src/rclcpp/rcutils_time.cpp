#include "rcutils/time.h"

#include <chrono>

extern "C"
{

rcutils_ret_t rcutils_system_time_now(rcutils_time_point_value_t * now)
{
  if (now == nullptr) {
    return RCUTILS_RET_INVALID_ARGUMENT;
  }
  *now = std::chrono::duration_cast<std::chrono::nanoseconds>(
    std::chrono::system_clock::now().time_since_epoch()).count();
  return RCUTILS_RET_OK;
}

rcutils_ret_t rcutils_steady_time_now(rcutils_time_point_value_t * now)
{
  if (now == nullptr) {
    return RCUTILS_RET_INVALID_ARGUMENT;
  }
  *now = std::chrono::duration_cast<std::chrono::nanoseconds>(
    std::chrono::steady_clock::now().time_since_epoch()).count();
  return RCUTILS_RET_OK;
}

}  // extern "C"
