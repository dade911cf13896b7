// rcl's error handling is rcutils' under rcl names.
#ifndef RCL__ERROR_HANDLING_H_
#define RCL__ERROR_HANDLING_H_

#include "rcutils/error_handling.h"

typedef rcutils_error_state_t rcl_error_state_t;
typedef rcutils_error_string_t rcl_error_string_t;

#define rcl_set_error_state rcutils_set_error_state
#define RCL_SET_ERROR_MSG(msg) RCUTILS_SET_ERROR_MSG(msg)
#define rcl_error_is_set rcutils_error_is_set
#define rcl_get_error_state rcutils_get_error_state
#define rcl_get_error_string rcutils_get_error_string
#define rcl_reset_error rcutils_reset_error

#endif  // RCL__ERROR_HANDLING_H_
