// rcutils' thread-local error state: the last error message with the file and line that set it.
#ifndef RCUTILS__ERROR_HANDLING_H_
#define RCUTILS__ERROR_HANDLING_H_

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "rcutils/macros.h"

#ifdef __cplusplus
extern "C"
{
#endif

#define RCUTILS_ERROR_STATE_LINE_NUMBER_STR_MAX_LENGTH 20
#define RCUTILS_ERROR_FORMATTING_CHARACTERS 6
#define RCUTILS_ERROR_MESSAGE_MAX_LENGTH 1024
#define RCUTILS_ERROR_STATE_MESSAGE_MAX_LENGTH 768
#define RCUTILS_ERROR_STATE_FILE_MAX_LENGTH ( \
    RCUTILS_ERROR_MESSAGE_MAX_LENGTH - \
    RCUTILS_ERROR_STATE_MESSAGE_MAX_LENGTH - \
    RCUTILS_ERROR_STATE_LINE_NUMBER_STR_MAX_LENGTH - \
    RCUTILS_ERROR_FORMATTING_CHARACTERS - \
    1)

/// The formatted error: "<message>, at <file>:<line>".
typedef struct rcutils_error_string_s
{
  char str[RCUTILS_ERROR_MESSAGE_MAX_LENGTH];
} rcutils_error_string_t;

/// The parts of the last error of the calling thread.
typedef struct rcutils_error_state_s
{
  char message[RCUTILS_ERROR_STATE_MESSAGE_MAX_LENGTH];
  char file[RCUTILS_ERROR_STATE_FILE_MAX_LENGTH];
  uint64_t line_number;
} rcutils_error_state_t;

/// Records an error for the calling thread, replacing any previous one.
void rcutils_set_error_state(const char * error_string, const char * file, size_t line_number);

/// True if the calling thread has an error recorded.
RCUTILS_WARN_UNUSED
bool rcutils_error_is_set(void);

/// The calling thread's error, or NULL if none is set.
RCUTILS_WARN_UNUSED
const rcutils_error_state_t * rcutils_get_error_state(void);

/// The calling thread's error formatted as "<message>, at <file>:<line>" ("error not set" if none).
RCUTILS_WARN_UNUSED
rcutils_error_string_t rcutils_get_error_string(void);

/// Clears the calling thread's error.
void rcutils_reset_error(void);

/// Writes a C string to stderr without formatting or allocation.
#define RCUTILS_SAFE_FWRITE_TO_STDERR(msg) \
  do {fwrite(msg, sizeof(char), strlen(msg), stderr);} while (0)

#define RCUTILS_SET_ERROR_MSG(msg) \
  do {rcutils_set_error_state(msg, __FILE__, __LINE__);} while (0)

#ifdef __cplusplus
}
#endif

#endif  // RCUTILS__ERROR_HANDLING_H_
