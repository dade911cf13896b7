#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#include "sweepmend/malloc_tuning.hpp"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace
{

// Called through volatile pointers so that the compiler cannot pair up and drop the calls.
void * (* volatile allocate)(std::size_t) = std::malloc;
void (* volatile release)(void *) = std::free;

TEST(MallocTuning, CloudSizedBlocksComeFromTheHeapAndStayThere)
{
#if !defined(__GLIBC__)
  GTEST_SKIP() << "only glibc's allocator is tuned";
#else
  ASSERT_TRUE(sweepmend::tune_malloc());
  // Two clouds of the size a Vanjee scan publishes, as a cycle allocates and frees them; left
  // untuned, glibc maps the first and trims the heap when both come back.
  constexpr std::size_t kBlock = 38400 * 48;
  const struct mallinfo2 start = mallinfo2();
  void * first = allocate(kBlock);
  void * second = allocate(kBlock);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  std::memset(first, 1, kBlock);
  std::memset(second, 2, kBlock);
  const struct mallinfo2 held = mallinfo2();
  EXPECT_EQ(held.hblks, start.hblks) << "a cloud-sized block was mapped on its own";
  release(first);
  release(second);
  const struct mallinfo2 freed = mallinfo2();
  EXPECT_GE(freed.arena, held.arena) << "freed blocks went back to the system";

  // The next cycle's clouds fit in what the heap kept.
  void * again = allocate(kBlock);
  EXPECT_EQ(mallinfo2().arena, freed.arena);
  release(again);

  // Beyond the limit a block is still mapped and given back at once.
  void * huge = allocate(2 * static_cast<std::size_t>(sweepmend::kHeapBlockLimit));
  ASSERT_NE(huge, nullptr);
  EXPECT_EQ(mallinfo2().hblks, start.hblks + 1);
  release(huge);
  EXPECT_EQ(mallinfo2().hblks, start.hblks);
#endif
}

}  // namespace
