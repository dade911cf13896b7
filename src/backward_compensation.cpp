#include "sweepmend/backward_compensation.hpp"

#include <algorithm>
#include <cmath>

namespace
{

// The kernel is written once for a lane type V: double, or a GCC vector of doubles that holds
// several points side by side. Every line spells out the operations Eigen performs for the
// reference expressions, in the order Eigen evaluates them in a build for the baseline instruction
// set (see dot3), a sum with a product is the sum of the evaluated product, and nothing is
// simplified (zeros of the skew matrix included), because any other order or shortcut can
// change the last bit. Contraction into fused multiply-adds is switched off for this file.

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define SWEEPMEND_X86_LANES 1
typedef double V2 __attribute__((vector_size(16)));
typedef double V4 __attribute__((vector_size(32)));
typedef double V8 __attribute__((vector_size(64)));
#endif

#define SWEEPMEND_INLINE inline __attribute__((always_inline))

// Every helper taking or returning a vector is force-inlined into the one function built for its
// instruction set, so no vector ever crosses a call boundary; GCC still warns about the ABI
// those calls would have.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

template<typename V>
struct Lanes
{
  static constexpr std::size_t kCount = sizeof(V) / sizeof(double);
};

template<typename V>
SWEEPMEND_INLINE V splat(double s)
{
  if constexpr (std::is_same<V, double>::value) {
    return s;
  } else {
    V v;
    for (std::size_t l = 0; l < Lanes<V>::kCount; ++l) {
      v[l] = s;
    }
    return v;
  }
}

template<typename V>
SWEEPMEND_INLINE double lane(const V & v, std::size_t l)
{
  if constexpr (std::is_same<V, double>::value) {
    (void)l;
    return v;
  } else {
    return v[l];
  }
}

template<typename V>
SWEEPMEND_INLINE void set_lane(V & v, std::size_t l, double s)
{
  if constexpr (std::is_same<V, double>::value) {
    (void)l;
    v = s;
  } else {
    v[l] = s;
  }
}

// Row i of a product of a 3x3 matrix with a 3-vector or a 3x3 matrix, in Eigen's order: rows 0
// and 1 come from its two-lane packet path, (x0 + x1) + x2, row 2 from its scalar path,
// x0 + (x1 + x2).
template<typename V>
SWEEPMEND_INLINE V dot3(int row, V a0, V b0, V a1, V b1, V a2, V b2)
{
  return row < 2 ? (a0 * b0 + a1 * b1) + a2 * b2 : a0 * b0 + (a1 * b1 + a2 * b2);
}

/// The constants of one pair of pose records, broadcast into lanes.
template<typename V>
struct Segment
{
  V head_time;
  V h[3][3];    // head attitude
  V vel[3], pos[3];
  V half_acc[3];  // 0.5 * tail acceleration, as Eigen's 0.5 * acc
  V gyr[3];
};

template<typename V>
struct Frame
{
  V r[3][3], rt[3][3], e[3][3];  // ext_r, ext_r_t, rot_end_t
  V t[3], pos_end[3];
};

template<typename V>
SWEEPMEND_INLINE Segment<V> make_segment(const IMUPose & head, const IMUPose & tail)
{
  Segment<V> s;
  s.head_time = splat<V>(head.pose_time);
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      s.h[i][j] = splat<V>(head.rot(i, j));
    }
    s.vel[i] = splat<V>(head.vel[i]);
    s.pos[i] = splat<V>(head.pos[i]);
    s.half_acc[i] = splat<V>(0.5 * tail.acc[i]);
    s.gyr[i] = splat<V>(tail.gyr[i]);
  }
  return s;
}

template<typename V>
SWEEPMEND_INLINE Frame<V> make_frame(const CompensationFrame & f)
{
  Frame<V> out;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      out.r[i][j] = splat<V>(f.ext_r(i, j));
      out.rt[i][j] = splat<V>(f.ext_r_t(i, j));
      out.e[i][j] = splat<V>(f.rot_end_t(i, j));
    }
    out.t[i] = splat<V>(f.ext_t[i]);
    out.pos_end[i] = splat<V>(f.pos_end[i]);
  }
  return out;
}

/// Compensates the points at first, first + 1, ... (one per lane).
template<typename V>
SWEEPMEND_INLINE void kernel(
  const Segment<V> & s, const Frame<V> & f, pcl::PointXYZINormal * first,
  std::size_t first_index, std::vector<NanCompensation> & nans, double * exact)
{
  constexpr std::size_t kL = Lanes<V>::kCount;
  V curv, p[3];
  for (std::size_t l = 0; l < kL; ++l) {
    set_lane(curv, l, static_cast<double>(first[l].curvature));
    set_lane(p[0], l, static_cast<double>(first[l].x));
    set_lane(p[1], l, static_cast<double>(first[l].y));
    set_lane(p[2], l, static_cast<double>(first[l].z));
  }
  const V zero = splat<V>(0.0);
  const V one = splat<V>(1.0);
  const V half = splat<V>(0.5);
  const V dt = curv / splat<V>(1000.0) - s.head_time;

  // Rotation increment I + A + (0.5·A)·A with A the skew matrix of gyr·dt.
  const V vx = s.gyr[0] * dt;
  const V vy = s.gyr[1] * dt;
  const V vz = s.gyr[2] * dt;
  const V a[3][3] = {{zero, -vz, vy}, {vz, zero, -vx}, {-vy, vx, zero}};
  V d[3][3];
  for (int i = 0; i < 3; ++i) {
    const V hi0 = half * a[i][0];
    const V hi1 = half * a[i][1];
    const V hi2 = half * a[i][2];
    for (int j = 0; j < 3; ++j) {
      const V identity = i == j ? one : zero;
      d[i][j] = (identity + a[i][j]) + dot3(i, hi0, a[0][j], hi1, a[1][j], hi2, a[2][j]);
    }
  }
  // The loops below are unrolled (about a third off the whole pass): their arrays then live in
  // registers. The one above stays a loop: unrolled, the compiler orders the operands of its
  // sums with the identity's constants otherwise, and a NaN comes out with another sign than
  // from the plain Eigen expressions.
  // R_i = R_h·ΔR
  V ri[3][3];
#pragma GCC unroll 3
  for (int i = 0; i < 3; ++i) {
#pragma GCC unroll 3
    for (int j = 0; j < 3; ++j) {
      ri[i][j] = dot3(i, s.h[i][0], d[0][j], s.h[i][1], d[1][j], s.h[i][2], d[2][j]);
    }
  }
  // T_ei = p_h + v_h·dt + (0.5·a_t)·dt·dt − p_end
  V tei[3];
#pragma GCC unroll 3
  for (int i = 0; i < 3; ++i) {
    tei[i] = ((s.pos[i] + s.vel[i] * dt) + (s.half_acc[i] * dt) * dt) - f.pos_end[i];
  }
  V q[3], u[3], w[3], out[3];
#pragma GCC unroll 3
  for (int i = 0; i < 3; ++i) {
    q[i] = dot3(i, f.r[i][0], p[0], f.r[i][1], p[1], f.r[i][2], p[2]) + f.t[i];
  }
#pragma GCC unroll 3
  for (int i = 0; i < 3; ++i) {
    u[i] = dot3(i, ri[i][0], q[0], ri[i][1], q[1], ri[i][2], q[2]) + tei[i];
  }
#pragma GCC unroll 3
  for (int i = 0; i < 3; ++i) {
    w[i] = dot3(i, f.e[i][0], u[0], f.e[i][1], u[1], f.e[i][2], u[2]) - f.t[i];
  }
#pragma GCC unroll 3
  for (int i = 0; i < 3; ++i) {
    out[i] = dot3(i, f.rt[i][0], w[0], f.rt[i][1], w[1], f.rt[i][2], w[2]);
  }
  for (std::size_t l = 0; l < kL; ++l) {
    const double x = lane(out[0], l);
    const double y = lane(out[1], l);
    const double z = lane(out[2], l);
    if (std::isnan(x) || std::isnan(y) || std::isnan(z)) {
      nans.push_back({first_index + l, Eigen::Vector3d(x, y, z)});
    }
    if (exact != nullptr) {
      exact[3 * (first_index + l)] = x;
      exact[3 * (first_index + l) + 1] = y;
      exact[3 * (first_index + l) + 2] = z;
    }
    first[l].x = static_cast<float>(x);
    first[l].y = static_cast<float>(y);
    first[l].z = static_cast<float>(z);
  }
}

/// A stretch of points [begin, end) that one pair of records (head = k - 1, tail = k) moves.
struct Run
{
  std::size_t k, begin, end;
};

// Which pair moves which points: the walk of the reference, without the arithmetic. The points
// are sorted by time and t / 1000 never decreases as t grows, so where the reference steps back
// one point at a time a binary search finds the same place.
std::vector<Run> plan_runs(
  const std::vector<IMUPose> & poses, const pcl::PointXYZINormal * points, std::size_t count)
{
  std::vector<Run> runs;
  if (poses.size() < 2 || count == 0) {
    return runs;
  }
  std::size_t end = count;  // points [0, end) are still unassigned
  for (std::size_t k = poses.size() - 1; k >= 1 && end > 0; --k) {
    const double head_time = poses[k - 1].pose_time;
    const pcl::PointXYZINormal * first = std::partition_point(
      points, points + end,
      [head_time](const pcl::PointXYZINormal & p) {return !(p.curvature / 1000.0 > head_time);});
    const auto begin = static_cast<std::size_t>(first - points);
    if (begin < end) {
      runs.push_back({k, begin, end});
    }
    end = begin;
  }
  return runs;
}

template<typename V>
SWEEPMEND_INLINE void compensate_runs(
  const std::vector<IMUPose> & poses, const CompensationFrame & frame,
  pcl::PointXYZINormal * points, const std::vector<Run> & runs,
  std::vector<NanCompensation> & nans, double * exact)
{
  constexpr std::size_t kL = Lanes<V>::kCount;
  const Frame<V> f = make_frame<V>(frame);
  const Frame<double> f1 = make_frame<double>(frame);
  for (const Run & run : runs) {
    const Segment<V> s = make_segment<V>(poses[run.k - 1], poses[run.k]);
    std::size_t i = run.begin;
    for (; i + kL <= run.end; i += kL) {
      kernel<V>(s, f, points + i, i, nans, exact);
    }
    if (i < run.end) {
      const Segment<double> s1 = make_segment<double>(poses[run.k - 1], poses[run.k]);
      for (; i < run.end; ++i) {
        kernel<double>(s1, f1, points + i, i, nans, exact);
      }
    }
  }
}

#if defined(SWEEPMEND_X86_LANES)
__attribute__((target("avx512f"))) void compensate_runs_avx512(
  const std::vector<IMUPose> & poses, const CompensationFrame & frame,
  pcl::PointXYZINormal * points, const std::vector<Run> & runs,
  std::vector<NanCompensation> & nans, double * exact)
{
  compensate_runs<V8>(poses, frame, points, runs, nans, exact);
}

__attribute__((target("avx"))) void compensate_runs_avx(
  const std::vector<IMUPose> & poses, const CompensationFrame & frame,
  pcl::PointXYZINormal * points, const std::vector<Run> & runs,
  std::vector<NanCompensation> & nans, double * exact)
{
  compensate_runs<V4>(poses, frame, points, runs, nans, exact);
}
#endif

}  // namespace

std::vector<int> compensation_lane_widths()
{
  std::vector<int> widths;
#if defined(SWEEPMEND_X86_LANES)
  if (__builtin_cpu_supports("avx512f")) {
    widths.push_back(8);
  }
  if (__builtin_cpu_supports("avx")) {
    widths.push_back(4);
  }
  widths.push_back(2);
#endif
  widths.push_back(1);
  return widths;
}

void compensate_backward_lanes(
  int lanes, const std::vector<IMUPose> & poses, const CompensationFrame & frame,
  pcl::PointXYZINormal * points, std::size_t count, std::vector<NanCompensation> & nans,
  double * exact)
{
  const std::vector<Run> runs = plan_runs(poses, points, count);
  const std::size_t first_nan = nans.size();
  switch (lanes) {
#if defined(SWEEPMEND_X86_LANES)
    case 8:
      compensate_runs_avx512(poses, frame, points, runs, nans, exact);
      break;
    case 4:
      compensate_runs_avx(poses, frame, points, runs, nans, exact);
      break;
    case 2:
      compensate_runs<V2>(poses, frame, points, runs, nans, exact);
      break;
#endif
    default:
      compensate_runs<double>(poses, frame, points, runs, nans, exact);
      break;
  }
  // Reported in the order the walk visits the points: the last first.
  std::sort(
    nans.begin() + static_cast<std::ptrdiff_t>(first_nan), nans.end(),
    [](const NanCompensation & a, const NanCompensation & b) {return a.index > b.index;});
}

void compensate_backward(
  const std::vector<IMUPose> & poses, const CompensationFrame & frame,
  pcl::PointXYZINormal * points, std::size_t count, std::vector<NanCompensation> & nans,
  double * exact)
{
  // Plain multiplies and adds give the same bits at every width; only the speed differs.
  static const int widest = compensation_lane_widths().front();
  compensate_backward_lanes(widest, poses, frame, points, count, nans, exact);
}

namespace
{

bool strictly_rising(
  const std::vector<pcl::PointXYZINormal, Eigen::aligned_allocator<pcl::PointXYZINormal>> & in)
{
  for (std::size_t i = 1; i < in.size(); ++i) {
    if (!(in[i - 1].curvature < in[i].curvature)) {
      return false;
    }
  }
  return true;
}

// The order std::sort with a strict less-than on curvature gives the points, worked out on
// 8-byte keys instead of 48-byte points.
void sort_keys(
  const std::vector<pcl::PointXYZINormal, Eigen::aligned_allocator<pcl::PointXYZINormal>> & in,
  std::vector<CurvatureKey> & keys)
{
  keys.resize(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    keys[i] = {in[i].curvature, static_cast<uint32_t>(i)};
  }
  std::sort(
    keys.begin(), keys.end(),
    [](const CurvatureKey & a, const CurvatureKey & b) {return a.curvature < b.curvature;});
}

}  // namespace

void copy_sorted_by_curvature(
  const pcl::PointCloud<pcl::PointXYZINormal> & scan, pcl::PointCloud<pcl::PointXYZINormal> & out,
  std::vector<CurvatureKey> & keys)
{
  out.header = scan.header;
  out.width = scan.width;
  out.height = scan.height;
  out.is_dense = scan.is_dense;
  out.sensor_origin_ = scan.sensor_origin_;
  out.sensor_orientation_ = scan.sensor_orientation_;
  const auto & in = scan.points;
  if (strictly_rising(in)) {
    out.points.assign(in.begin(), in.end());
    return;
  }
  sort_keys(in, keys);
  out.points.clear();
  out.points.reserve(in.size());
  for (const CurvatureKey & key : keys) {
    out.points.push_back(in[key.index]);
  }
}

void sort_copy_by_curvature(
  const pcl::PointCloud<pcl::PointXYZINormal> & scan, pcl::PointXYZINormal * copy,
  std::vector<CurvatureKey> & keys)
{
  const auto & in = scan.points;
  if (strictly_rising(in)) {
    return;
  }
  sort_keys(in, keys);
  for (std::size_t k = 0; k < keys.size(); ++k) {
    copy[k] = in[keys[k].index];
  }
}

namespace
{

Eigen::Matrix3d DeltaR(const Eigen::Vector3d & omega, double dt)
{
  const Eigen::Vector3d v = omega * dt;
  Eigen::Matrix3d a;
  a << 0.0, -v.z(), v.y(),
    v.z(), 0.0, -v.x(),
    -v.y(), v.x(), 0.0;
  return Eigen::Matrix3d::Identity() + a + 0.5 * a * a;
}

}  // namespace

void compensate_backward_reference(
  const std::vector<IMUPose> & poses, const CompensationFrame & frame,
  pcl::PointXYZINormal * points, std::size_t count, std::vector<NanCompensation> & nans,
  double * exact)
{
  if (poses.size() < 2 || count == 0) {
    return;
  }
  std::size_t it = count - 1;
  for (std::size_t k = poses.size() - 1; k >= 1; --k) {
    const IMUPose & head = poses[k - 1];
    const IMUPose & tail = poses[k];
    while (points[it].curvature / 1000.0 > head.pose_time) {
      auto & point = points[it];
      const double dt = point.curvature / 1000.0 - head.pose_time;
      const Eigen::Matrix3d rot_i = head.rot * DeltaR(tail.gyr, dt);
      const Eigen::Vector3d pos_i = head.pos + head.vel * dt + 0.5 * tail.acc * dt * dt;
      const Eigen::Vector3d t_ei = pos_i - frame.pos_end;
      const Eigen::Vector3d p(point.x, point.y, point.z);
      const Eigen::Vector3d q = frame.ext_r * p + frame.ext_t;
      const Eigen::Vector3d p_compensate =
        frame.ext_r_t * (frame.rot_end_t * (rot_i * q + t_ei) - frame.ext_t);
      if (p_compensate.hasNaN()) {
        nans.push_back({it, p_compensate});
      }
      if (exact != nullptr) {
        for (int c = 0; c < 3; ++c) {
          exact[3 * it + static_cast<std::size_t>(c)] = p_compensate[c];
        }
      }
      point.x = static_cast<float>(p_compensate.x());
      point.y = static_cast<float>(p_compensate.y());
      point.z = static_cast<float>(p_compensate.z());
      if (it == 0) {
        return;
      }
      --it;
    }
  }
}
