#include "sweepmend/cloud_message.hpp"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include <pcl/common/transforms.h>
#include <pcl_conversions/pcl_conversions.h>

// PCL moves points in double with SSE2 on x86-64 unless the build targets AVX, which sums in
// another order. Where PCL's SSE2 code is the one in effect, the pass below computes the same
// sums in the same order with one AVX register per point, when the processor has AVX.
#if defined(__GNUC__) && defined(__x86_64__) && defined(__SSE2__) && !defined(__AVX__)
#include <immintrin.h>
#define SWEEPMEND_AVX_TRANSFORM 1
#endif

namespace
{

using Point = pcl::PointXYZINormal;

#if defined(SWEEPMEND_AVX_TRANSFORM)
// Per point as pcl::detail::Transformer<double>::se3 with SSE2: ((c3 + x·c0) + y·c1) + z·c2 on
// columns of the transform, all four rows, each product and sum rounded as there, then to
// float. Moves the points of a message in place.
__attribute__((target("avx"))) bool transform_points_avx(
  uint8_t * bytes, std::size_t n, bool dense, const Eigen::Matrix4d & transform)
{
  const __m256d c0 = _mm256_loadu_pd(transform.col(0).data());
  const __m256d c1 = _mm256_loadu_pd(transform.col(1).data());
  const __m256d c2 = _mm256_loadu_pd(transform.col(2).data());
  const __m256d c3 = _mm256_loadu_pd(transform.col(3).data());
  const __m128 zero = _mm_setzero_ps();
  int finite = 0x7;
  for (std::size_t i = 0; i < n; ++i, bytes += sizeof(Point)) {
    float * xyz = reinterpret_cast<float *>(bytes);
    __m128 position = _mm_loadu_ps(xyz);
    if (dense || (std::isfinite(xyz[0]) && std::isfinite(xyz[1]) && std::isfinite(xyz[2]))) {
      __m256d sum = _mm256_add_pd(_mm256_mul_pd(_mm256_set1_pd(xyz[0]), c0), c3);
      sum = _mm256_add_pd(_mm256_mul_pd(_mm256_set1_pd(xyz[1]), c1), sum);
      sum = _mm256_add_pd(_mm256_mul_pd(_mm256_set1_pd(xyz[2]), c2), sum);
      position = _mm256_cvtpd_ps(sum);
      _mm_storeu_ps(xyz, position);
    }
    // v − v is 0 for a finite v and NaN for an infinite or NaN one.
    finite &= _mm_movemask_ps(_mm_cmpeq_ps(_mm_sub_ps(position, position), zero));
  }
  return finite == 0x7;
}
#endif

// The field list toROSMsg writes for this point type, taken from toROSMsg itself once.
const std::vector<sensor_msgs::msg::PointField> & point_fields()
{
  static const std::vector<sensor_msgs::msg::PointField> fields = [] {
      sensor_msgs::msg::PointCloud2 msg;
      pcl::toROSMsg(pcl::PointCloud<pcl::PointXYZINormal>(), msg);
      return msg.fields;
    }();
  return fields;
}

}  // namespace

void copy_to_message(
  const pcl::PointCloud<pcl::PointXYZINormal> & cloud, sensor_msgs::msg::PointCloud2 & msg)
{
  // Sizes as toPCLPointCloud2 sets them: an unorganised cloud without sizes is one row.
  if (cloud.width == 0 && cloud.height == 0) {
    msg.width = static_cast<uint32_t>(cloud.size());
    msg.height = 1;
  } else {
    msg.width = cloud.width;
    msg.height = cloud.height;
  }
  msg.fields = point_fields();
  msg.is_bigendian = false;
  msg.point_step = sizeof(Point);
  msg.row_step = static_cast<uint32_t>(sizeof(Point) * msg.width);
  msg.is_dense = cloud.is_dense;
  // The points' bytes as they are, padding included: one copy, no zero-fill.
  const auto * begin = reinterpret_cast<const uint8_t *>(cloud.points.data());
  msg.data.assign(begin, begin + sizeof(Point) * cloud.size());
}

std::unique_ptr<sensor_msgs::msg::PointCloud2> message_of(
  const pcl::PointCloud<pcl::PointXYZINormal> & cloud)
{
  auto msg = std::make_unique<sensor_msgs::msg::PointCloud2>();
  copy_to_message(cloud, *msg);
  return msg;
}

pcl::PointXYZINormal * message_points(sensor_msgs::msg::PointCloud2 & msg)
{
  // The bytes come from operator new, aligned for any type of this size or less.
  static_assert(
    __STDCPP_DEFAULT_NEW_ALIGNMENT__ >= alignof(Point), "message bytes are not aligned for points");
  return reinterpret_cast<Point *>(msg.data.data());
}

bool transform_to_message(
  const pcl::PointCloud<pcl::PointXYZINormal> & cloud, const Eigen::Matrix4d & transform,
  sensor_msgs::msg::PointCloud2 & msg)
{
  copy_to_message(cloud, msg);
  return move_message_points(msg, transform);
}

bool move_message_points(sensor_msgs::msg::PointCloud2 & msg, const Eigen::Matrix4d & transform)
{
  // Each point moved where it lies and checked for finiteness while it is in the cache.
  const std::size_t n = msg.data.size() / sizeof(Point);
  if (n == 0) {
    return true;
  }
  uint8_t * bytes = msg.data.data();
#if defined(SWEEPMEND_AVX_TRANSFORM)
  static const bool avx = __builtin_cpu_supports("avx");
  if (avx) {
    return transform_points_avx(bytes, n, msg.is_dense, transform);
  }
#endif
  pcl::detail::Transformer<double> tf(transform);
  // PCL stores four floats with an aligned store; a buffer that is not 16-byte aligned goes
  // through an aligned scratch point.
  const bool aligned = reinterpret_cast<std::uintptr_t>(bytes) % 16 == 0;
  alignas(16) float scratch[4];
  bool finite = true;
  for (std::size_t i = 0; i < n; ++i) {
    float * xyz = reinterpret_cast<float *>(bytes + i * sizeof(Point));
    // A cloud that may hold non-finite points keeps them as they are, as the transform does.
    if (msg.is_dense ||
      (std::isfinite(xyz[0]) && std::isfinite(xyz[1]) && std::isfinite(xyz[2])))
    {
      if (aligned) {
        tf.se3(xyz, xyz);
      } else {
        tf.se3(xyz, scratch);
        std::memcpy(xyz, scratch, sizeof(scratch));
      }
    }
    finite = finite && std::isfinite(xyz[0]) && std::isfinite(xyz[1]) && std::isfinite(xyz[2]);
  }
  return finite;
}

bool positions_finite(const sensor_msgs::msg::PointCloud2 & msg)
{
  const std::size_t step = msg.point_step == 0 ? msg.data.size() + 1 : msg.point_step;
  for (std::size_t at = 0; at + 3 * sizeof(float) <= msg.data.size(); at += step) {
    float xyz[3];
    std::memcpy(xyz, msg.data.data() + at, sizeof(xyz));
    if (!std::isfinite(xyz[0]) || !std::isfinite(xyz[1]) || !std::isfinite(xyz[2])) {
      return false;
    }
  }
  return true;
}
