// Scoring undistorted and raw clouds against the synthetic ground truth.
#ifndef EVAL__EVALUATION_HPP_
#define EVAL__EVALUATION_HPP_

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "sensor_msgs/msg/point_cloud2.hpp"

namespace sweepmend
{
namespace eval
{

/// The fields of a cloud point that scoring needs.
struct CloudPoint
{
  float x{0.0f};  ///< m
  float y{0.0f};  ///< m
  float z{0.0f};  ///< m
  float intensity{0.0f};
  float curvature{0.0f};  ///< ms after the scan stamp
};

/// Reads x, y, z, intensity and curvature (FLOAT32 fields, found by name) from every point of
/// msg. Throws std::runtime_error when a field is missing, is not FLOAT32, does not fit into
/// point_step, or the data is shorter than width·height points, or the cloud is big-endian.
std::vector<CloudPoint> decode_cloud(const sensor_msgs::msg::PointCloud2 & msg);

/// Error statistics of a set of points, in metres. p95 is the nearest-rank 95th percentile
/// (the smallest error that at least 95 % of the points do not exceed).
struct ErrorStats
{
  std::size_t count{0};
  double mean{0.0};
  double p95{0.0};
  double max{0.0};
};

/// Exact statistics of errors (m).
ErrorStats error_stats(std::vector<double> errors);

/// Running statistics of any number of errors in bounded memory: count, mean and max are
/// exact; the 95th percentile is resolved to 10 µm below 10 m (beyond it, the max is reported).
class ErrorHistogram
{
public:
  ErrorHistogram();
  void add(double error);
  void add(const std::vector<double> & errors);
  ErrorStats stats() const;

private:
  std::vector<uint32_t> bins_;
  std::size_t count_{0};
  std::size_t overflow_{0};
  double sum_{0.0};
  double max_{0.0};
};

/// Which published cloud an output is.
enum class OutputKind { kRaw, kUndistorted };

/// The score of one cloud of one scan.
struct CloudScore
{
  bool present{false};
  ErrorStats stats;            ///< over the matched points with finite coordinates
  std::size_t points{0};       ///< points in the output cloud
  std::size_t unmatched{0};    ///< output points with no truth point of the same time and intensity
  std::size_t non_finite{0};   ///< matched points with a NaN or infinite coordinate
  std::size_t missing{0};      ///< truth points absent from the output (dropped by the node)
};

/// The score of one scan (one truth cloud).
struct ScanScore
{
  std::size_t index{0};      ///< position of the truth among those received, from 0
  int64_t stamp_ns{0};       ///< stamp of the truth (the scan end time)
  std::size_t truth_points{0};
  CloudScore raw;
  CloudScore undistorted;
};

/// One scan's points, kept for drawing.
struct ScanPoints
{
  ScanScore score;
  std::vector<CloudPoint> truth;
  std::vector<CloudPoint> raw;
  std::vector<CloudPoint> undistorted;
};

/// Totals over the scans that have a truth and both outputs, so that raw and undistorted are
/// compared on the same points.
struct Summary
{
  std::size_t truth_scans{0};
  std::size_t paired_scans{0};      ///< with raw and undistorted output
  std::size_t raw_only_scans{0};    ///< raw but no undistorted output (e.g. the first scan)
  std::size_t scans_without_output{0};
  std::size_t unmatched_clouds{0};  ///< output clouds whose stamp matched no truth
  std::size_t unmatched_points{0};  ///< in matched clouds and in unmatched clouds, both outputs
  std::size_t non_finite_points{0};
  std::size_t missing_points{0};    ///< truth points absent from the undistorted output
  ErrorStats raw;
  ErrorStats undistorted;
};

/// Matches output clouds with truth clouds and points with points, exactly: a cloud matches the
/// truth whose stamp lies within the tolerance of its own (the node's stamp is its end time in
/// double seconds, truncated to ns), and a point matches the truth point of the same curvature
/// and intensity, bit for bit. Clouds may come in any order; a scan is scored as soon as its
/// truth and both outputs are in, and the rest when finish() is called.
class Evaluator
{
public:
  struct Options
  {
    int64_t stamp_tolerance_ns{1000000};
    /// Which complete scan (truth, raw and undistorted) to keep for drawing, counting from 0 in
    /// stamp order; −1: the one with the largest raw mean error; −2: none.
    long keep_scan{-2};
  };

  Evaluator();
  explicit Evaluator(const Options & options);
  ~Evaluator();

  void add_truth(int64_t stamp_ns, std::vector<CloudPoint> points);
  void add_output(OutputKind kind, int64_t stamp_ns, std::vector<CloudPoint> points);
  /// Scores everything still open; call once after the last cloud.
  void finish();

  /// Every scored scan, by stamp (complete after finish()).
  std::vector<ScanScore> scans() const;
  Summary summary() const;
  /// The scan kept for drawing, if any.
  const ScanPoints * kept_scan() const {return kept_.get();}

private:
  struct Pending;
  void try_match(Pending & scan);
  void score(Pending & scan);
  Options options_;
  std::map<int64_t, std::unique_ptr<Pending>> open_;  // by truth stamp
  std::vector<std::pair<OutputKind, std::pair<int64_t, std::vector<CloudPoint>>>> orphans_;
  std::map<int64_t, ScanScore> scored_;
  std::size_t truth_count_{0};
  std::size_t complete_scans_{0};
  std::unique_ptr<ScanPoints> kept_;
  ErrorHistogram raw_total_;
  ErrorHistogram undistorted_total_;
  std::size_t unmatched_clouds_{0};
  std::size_t unmatched_cloud_points_{0};
};

}  // namespace eval
}  // namespace sweepmend

#endif  // EVAL__EVALUATION_HPP_
