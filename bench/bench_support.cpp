#include "bench_support.hpp"

#include <time.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <vector>

#include <Eigen/Dense>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

// glibc's own entry points, under the standard names of this program: every allocation of the
// process, PCL's aligned point buffers included, passes through here and is counted by size.
extern "C" {
void * __libc_malloc(std::size_t size);
void * __libc_calloc(std::size_t count, std::size_t size);
void * __libc_realloc(void * ptr, std::size_t size);
void * __libc_memalign(std::size_t alignment, std::size_t size);
}

namespace
{

std::atomic<uint64_t> g_cloud_sized{0};

inline void note(std::size_t size)
{
  if (size >= sweepmend_bench::kCloudSizedBytes) {
    g_cloud_sized.fetch_add(1, std::memory_order_relaxed);
  }
}

double thread_cpu_seconds()
{
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

}  // namespace

extern "C" {

void * malloc(std::size_t size)
{
  note(size);
  return __libc_malloc(size);
}

void * calloc(std::size_t count, std::size_t size)
{
  note(count * size);
  return __libc_calloc(count, size);
}

void * realloc(void * ptr, std::size_t size)
{
  note(size);
  return __libc_realloc(ptr, size);
}

int posix_memalign(void ** out, std::size_t alignment, std::size_t size)
{
  note(size);
  void * p = __libc_memalign(alignment, size);
  if (p == nullptr) {
    return 12;  // ENOMEM
  }
  *out = p;
  return 0;
}

void * aligned_alloc(std::size_t alignment, std::size_t size)
{
  note(size);
  return __libc_memalign(alignment, size);
}

void * memalign(std::size_t alignment, std::size_t size)
{
  note(size);
  return __libc_memalign(alignment, size);
}

}  // extern "C"

namespace sweepmend_bench
{

uint64_t cloud_sized_allocations()
{
  return g_cloud_sized.load(std::memory_order_relaxed);
}

double floor_seconds(std::size_t n)
{
  static std::map<std::size_t, double> cache;
  auto it = cache.find(n);
  if (it != cache.end()) {
    return it->second;
  }
  // The same data and loop as BM_FloorKernel.
  pcl::PointCloud<pcl::PointXYZINormal> in;
  in.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    in[i].x = static_cast<float>(i % 97) * 0.1f;
    in[i].y = static_cast<float>(i % 89) * -0.1f;
    in[i].z = static_cast<float>(i % 13) * 0.05f;
    in[i].curvature = static_cast<float>(i) * 0.005f;
  }
  pcl::PointCloud<pcl::PointXYZINormal> out = in;
  const Eigen::Matrix3d r = Eigen::AngleAxisd(0.3, Eigen::Vector3d(0.2, 0.3, 0.9).normalized())
    .toRotationMatrix();
  const Eigen::Vector3d t(-0.011, -0.02329, 0.04412);
  std::vector<double> samples;
  constexpr int kPasses = 20;
  for (int rep = 0; rep < 31; ++rep) {
    const double start = thread_cpu_seconds();
    for (int pass = 0; pass < kPasses; ++pass) {
      for (std::size_t i = 0; i < n; ++i) {
        const auto & p = in[i];
        const Eigen::Vector3d q = r * Eigen::Vector3d(p.x, p.y, p.z) + t;
        auto & o = out[i];
        o.x = static_cast<float>(q.x());
        o.y = static_cast<float>(q.y());
        o.z = static_cast<float>(q.z());
      }
      benchmark::DoNotOptimize(out.points.data());
      benchmark::ClobberMemory();
    }
    samples.push_back((thread_cpu_seconds() - start) / kPasses);
  }
  std::nth_element(samples.begin(), samples.begin() + samples.size() / 2, samples.end());
  return cache[n] = samples[samples.size() / 2];
}

benchmark::Counter x_floor(std::size_t n)
{
  // Rate over the run's CPU time, inverted: cpu_time / (iterations · floor) per iteration.
  return benchmark::Counter(
    floor_seconds(n), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

}  // namespace sweepmend_bench
