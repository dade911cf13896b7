// What the benchmarks share: the floor kernel's time at a point count, to state every figure as a
// multiple of it, and a count of the cloud-sized allocations made while a benchmark runs.
#ifndef BENCH__BENCH_SUPPORT_HPP_
#define BENCH__BENCH_SUPPORT_HPP_

#include <cstddef>
#include <cstdint>

#include <benchmark/benchmark.h>

namespace sweepmend_bench
{

/// CPU seconds of one pass of the floor kernel (the loop of BM_FloorKernel) over n points: the
/// median of repeated timings, measured once per n and program run.
double floor_seconds(std::size_t n);

/// A counter that reads as the benchmark's CPU time per iteration divided by floor_seconds(n):
/// "x_floor" = how many floor kernels one iteration costs.
benchmark::Counter x_floor(std::size_t n);

/// Allocations (malloc, calloc, realloc, aligned forms, operator new) of at least this many
/// bytes count as cloud-sized: a 20 000-point cloud is 960 000 bytes.
constexpr std::size_t kCloudSizedBytes = 256 * 1024;

/// Cloud-sized allocations made by any thread since the program started.
uint64_t cloud_sized_allocations();

}  // namespace sweepmend_bench

#endif  // BENCH__BENCH_SUPPORT_HPP_
