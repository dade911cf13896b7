#include "eval/evaluation.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <utility>

namespace sweepmend
{
namespace eval
{

namespace
{

constexpr double kBinWidth = 1e-5;  // m
constexpr std::size_t kBins = 1000000;  // up to 10 m

uint32_t float_bits(float f)
{
  uint32_t u;
  std::memcpy(&u, &f, sizeof(u));
  return u;
}

// Curvature (the point's time) and intensity together identify a point within its scan.
uint64_t point_key(const CloudPoint & p)
{
  return (static_cast<uint64_t>(float_bits(p.curvature)) << 32) | float_bits(p.intensity);
}

bool is_finite(const CloudPoint & p)
{
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

}  // namespace

std::vector<CloudPoint> decode_cloud(const sensor_msgs::msg::PointCloud2 & msg)
{
  if (msg.is_bigendian) {
    throw std::runtime_error("big-endian PointCloud2 is not supported");
  }
  const char * names[5] = {"x", "y", "z", "intensity", "curvature"};
  uint32_t offsets[5];
  for (int i = 0; i < 5; ++i) {
    auto it = std::find_if(msg.fields.begin(), msg.fields.end(),
        [&](const sensor_msgs::msg::PointField & f) {return f.name == names[i];});
    if (it == msg.fields.end()) {
      throw std::runtime_error(std::string("PointCloud2 has no field '") + names[i] + "'");
    }
    if (it->datatype != sensor_msgs::msg::PointField::FLOAT32) {
      throw std::runtime_error(std::string("PointCloud2 field '") + names[i] + "' is not FLOAT32");
    }
    if (static_cast<uint64_t>(it->offset) + 4 > msg.point_step) {
      throw std::runtime_error(std::string("PointCloud2 field '") + names[i] +
              "' lies beyond point_step");
    }
    offsets[i] = it->offset;
  }
  const uint64_t n = static_cast<uint64_t>(msg.width) * msg.height;
  if (n > 0 && n * msg.point_step > msg.data.size()) {
    throw std::runtime_error("PointCloud2 data holds fewer than width·height points");
  }
  std::vector<CloudPoint> points(static_cast<std::size_t>(n));
  for (uint64_t i = 0; i < n; ++i) {
    const uint8_t * d = msg.data.data() + i * msg.point_step;
    float v[5];
    for (int f = 0; f < 5; ++f) {
      std::memcpy(&v[f], d + offsets[f], sizeof(float));
    }
    points[i] = {v[0], v[1], v[2], v[3], v[4]};
  }
  return points;
}

ErrorStats error_stats(std::vector<double> errors)
{
  ErrorStats s;
  s.count = errors.size();
  if (errors.empty()) {
    return s;
  }
  double sum = 0.0;
  for (double e : errors) {
    sum += e;
    s.max = std::max(s.max, e);
  }
  s.mean = sum / static_cast<double>(errors.size());
  const std::size_t rank = static_cast<std::size_t>(std::ceil(0.95 * errors.size()));
  auto nth = errors.begin() + static_cast<std::ptrdiff_t>(rank - 1);
  std::nth_element(errors.begin(), nth, errors.end());
  s.p95 = *nth;
  return s;
}

ErrorHistogram::ErrorHistogram()
: bins_(kBins, 0)
{
}

void ErrorHistogram::add(double error)
{
  ++count_;
  sum_ += error;
  max_ = std::max(max_, error);
  const double bin = std::floor(error / kBinWidth);
  if (bin >= 0.0 && bin < static_cast<double>(kBins)) {
    ++bins_[static_cast<std::size_t>(bin)];
  } else {
    ++overflow_;
  }
}

void ErrorHistogram::add(const std::vector<double> & errors)
{
  for (double e : errors) {
    add(e);
  }
}

ErrorStats ErrorHistogram::stats() const
{
  ErrorStats s;
  s.count = count_;
  if (count_ == 0) {
    return s;
  }
  s.mean = sum_ / static_cast<double>(count_);
  s.max = max_;
  const std::size_t rank = static_cast<std::size_t>(std::ceil(0.95 * count_));
  std::size_t seen = 0;
  s.p95 = max_;
  for (std::size_t b = 0; b < kBins; ++b) {
    seen += bins_[b];
    if (seen >= rank) {
      s.p95 = std::min(static_cast<double>(b + 1) * kBinWidth, max_);
      break;
    }
  }
  return s;
}

// A truth cloud waiting for its outputs.
struct Evaluator::Pending
{
  int64_t stamp_ns{0};
  std::size_t ordinal{0};
  std::vector<CloudPoint> truth;
  std::unordered_map<uint64_t, uint32_t> index;
  CloudScore raw;
  CloudScore undistorted;
  std::vector<double> raw_errors;
  std::vector<double> undistorted_errors;
  std::vector<CloudPoint> raw_points;          // kept only when a scan may be drawn
  std::vector<CloudPoint> undistorted_points;
};

Evaluator::Evaluator()
: Evaluator(Options{})
{
}

Evaluator::Evaluator(const Options & options)
: options_(options)
{
}

Evaluator::~Evaluator() = default;

void Evaluator::add_truth(int64_t stamp_ns, std::vector<CloudPoint> points)
{
  // The same truth from a second copy of the recording adds nothing.
  if (open_.count(stamp_ns) != 0 || scored_.count(stamp_ns) != 0) {
    return;
  }
  auto scan = std::make_unique<Pending>();
  scan->stamp_ns = stamp_ns;
  scan->ordinal = truth_count_++;
  scan->truth = std::move(points);
  scan->index.reserve(scan->truth.size());
  for (std::size_t i = 0; i < scan->truth.size(); ++i) {
    scan->index.emplace(point_key(scan->truth[i]), static_cast<uint32_t>(i));
  }
  Pending & ref = *scan;
  open_.emplace(stamp_ns, std::move(scan));

  // Outputs that came before their truth.
  for (auto it = orphans_.begin(); it != orphans_.end(); ) {
    if (std::llabs(it->second.first - stamp_ns) <= options_.stamp_tolerance_ns) {
      auto orphan = std::move(*it);
      it = orphans_.erase(it);
      add_output(orphan.first, orphan.second.first, std::move(orphan.second.second));
      if (open_.count(stamp_ns) == 0) {
        return;  // scored already
      }
    } else {
      ++it;
    }
  }
  try_match(ref);
}

void Evaluator::add_output(OutputKind kind, int64_t stamp_ns, std::vector<CloudPoint> points)
{
  // The truth nearest in time, within the tolerance.
  Pending * scan = nullptr;
  int64_t best = options_.stamp_tolerance_ns + 1;
  auto consider = [&](std::map<int64_t, std::unique_ptr<Pending>>::iterator it) {
      const int64_t d = std::llabs(it->first - stamp_ns);
      if (d < best) {
        best = d;
        scan = it->second.get();
      }
    };
  auto it = open_.lower_bound(stamp_ns);
  if (it != open_.end()) {
    consider(it);
  }
  if (it != open_.begin()) {
    consider(std::prev(it));
  }
  if (scan == nullptr) {
    auto done = scored_.lower_bound(stamp_ns - options_.stamp_tolerance_ns);
    if (done != scored_.end() && done->first <= stamp_ns + options_.stamp_tolerance_ns) {
      return;  // a second copy of an output already scored
    }
    orphans_.push_back({kind, {stamp_ns, std::move(points)}});
    return;
  }

  CloudScore & score = kind == OutputKind::kRaw ? scan->raw : scan->undistorted;
  if (score.present) {
    return;  // a second copy of the same output
  }
  std::vector<double> & errors = kind == OutputKind::kRaw ? scan->raw_errors :
    scan->undistorted_errors;
  score.present = true;
  score.points = points.size();
  errors.reserve(points.size());
  std::vector<char> seen(scan->truth.size(), 0);
  for (const CloudPoint & p : points) {
    const auto found = scan->index.find(point_key(p));
    if (found == scan->index.end()) {
      ++score.unmatched;
      continue;
    }
    seen[found->second] = 1;
    if (!is_finite(p)) {
      ++score.non_finite;
      continue;
    }
    const CloudPoint & t = scan->truth[found->second];
    const double dx = static_cast<double>(p.x) - t.x;
    const double dy = static_cast<double>(p.y) - t.y;
    const double dz = static_cast<double>(p.z) - t.z;
    errors.push_back(std::sqrt(dx * dx + dy * dy + dz * dz));
  }
  score.missing = scan->truth.size() -
    static_cast<std::size_t>(std::count(seen.begin(), seen.end(), 1));
  score.stats = error_stats(errors);
  if (options_.keep_scan != -2) {
    (kind == OutputKind::kRaw ? scan->raw_points : scan->undistorted_points) = std::move(points);
  }
  try_match(*scan);
}

void Evaluator::try_match(Pending & scan)
{
  if (scan.raw.present && scan.undistorted.present) {
    score(scan);
  }
}

void Evaluator::score(Pending & scan)
{
  ScanScore s;
  s.index = scan.ordinal;
  s.stamp_ns = scan.stamp_ns;
  s.truth_points = scan.truth.size();
  s.raw = scan.raw;
  s.undistorted = scan.undistorted;
  if (scan.raw.present && scan.undistorted.present) {
    raw_total_.add(scan.raw_errors);
    undistorted_total_.add(scan.undistorted_errors);
    const long position = static_cast<long>(complete_scans_++);
    const bool keep = options_.keep_scan == position ||
      (options_.keep_scan == -1 &&
      (!kept_ || kept_->score.raw.stats.mean < s.raw.stats.mean));
    if (keep) {
      kept_ = std::make_unique<ScanPoints>();
      kept_->score = s;
      kept_->truth = std::move(scan.truth);
      kept_->raw = std::move(scan.raw_points);
      kept_->undistorted = std::move(scan.undistorted_points);
    }
  }
  scored_.emplace(scan.stamp_ns, s);
  open_.erase(scan.stamp_ns);  // destroys scan
}

void Evaluator::finish()
{
  while (!open_.empty()) {
    score(*open_.begin()->second);
  }
  for (const auto & orphan : orphans_) {
    ++unmatched_clouds_;
    unmatched_cloud_points_ += orphan.second.second.size();
  }
  orphans_.clear();
}

std::vector<ScanScore> Evaluator::scans() const
{
  std::vector<ScanScore> out;
  out.reserve(scored_.size());
  for (const auto & entry : scored_) {
    out.push_back(entry.second);
  }
  return out;
}

Summary Evaluator::summary() const
{
  Summary s;
  s.truth_scans = scored_.size() + open_.size();
  for (const auto & entry : scored_) {
    const ScanScore & scan = entry.second;
    if (scan.raw.present && scan.undistorted.present) {
      ++s.paired_scans;
      s.missing_points += scan.undistorted.missing;
    } else if (scan.raw.present) {
      ++s.raw_only_scans;
    } else if (!scan.undistorted.present) {
      ++s.scans_without_output;
    }
    s.unmatched_points += scan.raw.unmatched + scan.undistorted.unmatched;
    s.non_finite_points += scan.raw.non_finite + scan.undistorted.non_finite;
  }
  s.unmatched_clouds = unmatched_clouds_;
  s.unmatched_points += unmatched_cloud_points_;
  s.raw = raw_total_.stats();
  s.undistorted = undistorted_total_.stats();
  return s;
}

}  // namespace eval
}  // namespace sweepmend
