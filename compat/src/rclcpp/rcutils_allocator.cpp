#include "rcutils/allocator.h"

#include <cstdlib>

namespace
{
void * default_allocate(size_t size, void *) {return std::malloc(size);}
void default_deallocate(void * pointer, void *) {std::free(pointer);}
void * default_reallocate(void * pointer, size_t size, void *) {return std::realloc(pointer, size);}
void * default_zero_allocate(size_t count, size_t size, void *) {return std::calloc(count, size);}
}  // namespace

extern "C" rcutils_allocator_t rcutils_get_zero_initialized_allocator(void)
{
  rcutils_allocator_t allocator{nullptr, nullptr, nullptr, nullptr, nullptr};
  return allocator;
}

extern "C" rcutils_allocator_t rcutils_get_default_allocator(void)
{
  rcutils_allocator_t allocator{
    default_allocate, default_deallocate, default_reallocate, default_zero_allocate, nullptr};
  return allocator;
}

extern "C" bool rcutils_allocator_is_valid(const rcutils_allocator_t * allocator)
{
  return allocator != nullptr && allocator->allocate != nullptr &&
         allocator->deallocate != nullptr && allocator->reallocate != nullptr &&
         allocator->zero_allocate != nullptr;
}
