#include "rcutils/error_handling.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace
{
// Per thread, as in rcutils: an error belongs to the call chain that raised it.
thread_local rcutils_error_state_t g_error_state;
thread_local bool g_error_is_set = false;

void copy_truncated(char * destination, size_t capacity, const char * source)
{
  if (source == nullptr) {
    source = "";
  }
  std::snprintf(destination, capacity, "%s", source);
}
}  // namespace

extern "C"
{

void rcutils_set_error_state(const char * error_string, const char * file, size_t line_number)
{
  copy_truncated(g_error_state.message, sizeof(g_error_state.message), error_string);
  copy_truncated(g_error_state.file, sizeof(g_error_state.file), file);
  g_error_state.line_number = line_number;
  g_error_is_set = true;
}

bool rcutils_error_is_set(void)
{
  return g_error_is_set;
}

const rcutils_error_state_t * rcutils_get_error_state(void)
{
  return g_error_is_set ? &g_error_state : nullptr;
}

rcutils_error_string_t rcutils_get_error_string(void)
{
  rcutils_error_string_t result;
  if (!g_error_is_set) {
    copy_truncated(result.str, sizeof(result.str), "error not set");
    return result;
  }
  std::snprintf(
    result.str, sizeof(result.str), "%s, at %s:%" PRIu64,
    g_error_state.message, g_error_state.file, g_error_state.line_number);
  return result;
}

void rcutils_reset_error(void)
{
  g_error_state = rcutils_error_state_t{};
  g_error_is_set = false;
}

}  // extern "C"
