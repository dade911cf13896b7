// rcutils' allocator record: a set of C allocation functions plus an opaque state pointer.
#ifndef RCUTILS__ALLOCATOR_H_
#define RCUTILS__ALLOCATOR_H_

#include <stddef.h>

#include "rcutils/macros.h"

#ifdef __cplusplus
extern "C"
{
#endif

/// Allocation functions handed through the ROS 2 C layers; every function receives `state`.
typedef struct rcutils_allocator_s
{
  void * (*allocate)(size_t size, void * state);
  void (* deallocate)(void * pointer, void * state);
  void * (*reallocate)(void * pointer, size_t size, void * state);
  void * (*zero_allocate)(size_t number_of_elements, size_t size_of_element, void * state);
  void * state;
} rcutils_allocator_t;

/// An allocator whose members are all null (invalid until filled in).
RCUTILS_WARN_UNUSED
rcutils_allocator_t rcutils_get_zero_initialized_allocator(void);

/// The malloc/free based allocator used by default everywhere.
RCUTILS_WARN_UNUSED
rcutils_allocator_t rcutils_get_default_allocator(void);

/// True if every function pointer of `allocator` is set.
bool rcutils_allocator_is_valid(const rcutils_allocator_t * allocator);

#ifdef __cplusplus
}
#endif

#endif  // RCUTILS__ALLOCATOR_H_
