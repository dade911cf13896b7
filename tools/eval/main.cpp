// sweepmend_eval: scores the node's undistorted and raw clouds against the synthetic ground truth.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cdr/cdr.hpp"
#include "cli/command_line.hpp"
#include "eval/evaluation.hpp"
#include "eval/plot.hpp"
#include "storage/bag.hpp"

namespace
{

using sweepmend::cli::OptionValues;
using sweepmend::cli::UsageError;
using sweepmend::eval::CloudScore;
using sweepmend::eval::ErrorStats;
using sweepmend::eval::Evaluator;
using sweepmend::eval::OutputKind;

constexpr const char * kProgram = "sweepmend_eval";

constexpr const char * kUsage =
  R"(usage: sweepmend_eval BAG... [options]

Reads the bags given (the node's output, e.g. from sweepmend_bag, and the synthetic recording
with its ground truth, in any order), matches every output point with its truth point by the
cloud's stamp and the point's curvature (time) and intensity, and prints the error of the raw
and the undistorted cloud per scan and overall (mean, 95th percentile, max, in metres). The last
line reads "mean point error: raw <m> m -> undistorted <m> m", over the scans that have both.

options:
  --png FILE                 draw one scan from above (raw, undistorted, truth) into FILE
  --scan N                   the scan to draw: the N-th scan with both outputs, from 0
                             (default: the one with the largest raw error)
  --z-range MIN,MAX          height band of the points drawn, m in the output frame
                             (default -1,2: walls and pillars without floor and ceiling)
  --raw-topic T              default /livox/lidar_undistorted_raw
  --undistorted-topic T      default /livox/lidar_undistorted
  --truth-topic T            default /sweepmend/ground_truth
  --quiet                    no per-scan lines
  --help                     this text
)";

struct Source
{
  std::string path;
  std::unique_ptr<sweepmend::bag::Reader> reader;
  sweepmend::bag::BagMessage head;
  bool has_head{false};
};

std::string format_stats(const CloudScore & s)
{
  if (!s.present) {
    return "      -        -        -   ";
  }
  char buf[64];
  std::snprintf(buf, sizeof(buf), "%8.4f %8.4f %8.4f", s.stats.mean, s.stats.p95, s.stats.max);
  return buf;
}

std::string format_total(const char * name, const ErrorStats & s)
{
  char buf[160];
  std::snprintf(buf, sizeof(buf), "%-11s over %zu points: mean %.4f m, p95 %.4f m, max %.4f m",
    name, s.count, s.mean, s.p95, s.max);
  return buf;
}

std::string short_metres(double v)
{
  char buf[32];
  std::snprintf(buf, sizeof(buf), "%.3g", v);
  return buf;
}

int run(int argc, char ** argv)
{
  std::vector<std::string> bags;
  std::string png;
  long scan_to_draw = -1;
  std::string raw_topic = "/livox/lidar_undistorted_raw";
  std::string undistorted_topic = "/livox/lidar_undistorted";
  std::string truth_topic = "/sweepmend/ground_truth";
  bool quiet = false;
  double z_min = -1.0;
  double z_max = 2.0;
  const bool go = sweepmend::cli::parse_command_line(
    argc, argv, {kProgram, kUsage, {
        {"--png", [&](OptionValues & values) {png = values.value();}},
        {"--scan", [&](OptionValues & values) {
            const std::string v = values.value();
            char * end = nullptr;
            errno = 0;
            scan_to_draw = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end != '\0' || errno != 0 || scan_to_draw < 0) {
              throw UsageError{"--scan: not a scan number: '" + v + "'"};
            }
          }},
        {"--z-range", [&](OptionValues & values) {
            const std::string v = values.value();
            char * end = nullptr;
            z_min = std::strtod(v.c_str(), &end);
            if (end == v.c_str() || *end != ',') {
              throw UsageError{"--z-range: expected MIN,MAX, got '" + v + "'"};
            }
            const char * second = end + 1;
            z_max = std::strtod(second, &end);
            if (end == second || *end != '\0' || !(z_min < z_max)) {
              throw UsageError{"--z-range: expected MIN,MAX with MIN < MAX, got '" + v + "'"};
            }
          }},
        {"--raw-topic", [&](OptionValues & values) {raw_topic = values.value();}},
        {"--undistorted-topic", [&](OptionValues & values) {undistorted_topic = values.value();}},
        {"--truth-topic", [&](OptionValues & values) {truth_topic = values.value();}},
        {"--quiet", [&](OptionValues &) {quiet = true;}},
      }, [&](const std::string & operand) {bags.push_back(operand);}});
  if (!go) {
    return 0;
  }
  if (bags.empty()) {
    throw UsageError{"no bag given"};
  }

  std::vector<Source> sources;
  for (const std::string & path : bags) {
    Source s;
    s.path = path;
    s.reader = sweepmend::bag::Reader::open(path);
    s.has_head = s.reader->read_next(s.head);
    sources.push_back(std::move(s));
  }

  Evaluator::Options options;
  options.keep_scan = png.empty() ? -2 : scan_to_draw;
  Evaluator evaluator(options);

  // All bags merged on one time line: a truth is received when its scan is complete, before
  // the node can publish the clouds made from it, so most scans are scored as they stream by.
  while (true) {
    Source * next = nullptr;
    for (Source & s : sources) {
      if (s.has_head && (next == nullptr || s.head.timestamp < next->head.timestamp)) {
        next = &s;
      }
    }
    if (next == nullptr) {
      break;
    }
    const sweepmend::bag::BagMessage & m = next->head;
    const bool is_truth = m.topic == truth_topic;
    const bool is_raw = m.topic == raw_topic;
    const bool is_undistorted = m.topic == undistorted_topic;
    if (is_truth || is_raw || is_undistorted) {
      const auto msg = sweepmend::cdr::deserialize<sensor_msgs::msg::PointCloud2>(m.data);
      const int64_t stamp = static_cast<int64_t>(msg.header.stamp.sec) * 1000000000 +
        msg.header.stamp.nanosec;
      std::vector<sweepmend::eval::CloudPoint> points = sweepmend::eval::decode_cloud(msg);
      if (is_truth) {
        evaluator.add_truth(stamp, std::move(points));
      } else {
        evaluator.add_output(is_raw ? OutputKind::kRaw : OutputKind::kUndistorted, stamp,
          std::move(points));
      }
    }
    next->has_head = next->reader->read_next(next->head);
  }
  evaluator.finish();

  const sweepmend::eval::Summary sum = evaluator.summary();
  if (sum.truth_scans == 0) {
    std::cerr << "sweepmend_eval: no ground truth on " << truth_topic <<
      " in the bags given (pass the synthetic recording too)\n";
    return 1;
  }
  if (!quiet) {
    std::cout << " scan  end time (s)          truth |  raw: mean      p95      max |"
      "  undistorted: mean      p95      max | unmatched  missing\n";
    for (const sweepmend::eval::ScanScore & s : evaluator.scans()) {
      char head[80];
      std::snprintf(head, sizeof(head), "%5zu  %lld.%09lld %6zu | ", s.index,
        static_cast<long long>(s.stamp_ns / 1000000000),
        static_cast<long long>(s.stamp_ns % 1000000000), s.truth_points);
      char tail[48];
      std::snprintf(tail, sizeof(tail), " | %9zu %8zu", s.raw.unmatched + s.undistorted.unmatched,
        s.undistorted.present ? s.undistorted.missing : s.raw.missing);
      std::cout << head << "     " << format_stats(s.raw) << " |               " <<
        format_stats(s.undistorted) << tail << "\n";
    }
  }
  std::cout << "scans with truth: " << sum.truth_scans << "; with raw and undistorted output: " <<
    sum.paired_scans << "; raw only: " << sum.raw_only_scans << "; without output: " <<
    sum.scans_without_output << "\n";
  std::cout << "unmatched: " << sum.unmatched_clouds << " output clouds, " <<
    sum.unmatched_points << " output points without a truth point; " << sum.non_finite_points <<
    " non-finite points; " << sum.missing_points <<
    " truth points not in the undistorted output\n";
  std::cout << format_total("raw", sum.raw) << "\n" <<
    format_total("undistorted", sum.undistorted) << "\n";

  int status = 0;
  if (!png.empty()) {
    if (const sweepmend::eval::ScanPoints * kept = evaluator.kept_scan()) {
      sweepmend::eval::draw_top_view(*kept, png, z_min, z_max);
      std::cout << "picture of scan " << kept->score.index << ": " << png << "\n";
    } else {
      std::cerr << "sweepmend_eval: no scan with raw and undistorted output" <<
        (scan_to_draw >= 0 ? " numbered " + std::to_string(scan_to_draw) : std::string()) <<
        " to draw\n";
      status = 1;
    }
  }
  if (sum.paired_scans == 0) {
    std::cerr << "sweepmend_eval: no scan has both a raw and an undistorted cloud matching its "
      "truth\n";
    status = 1;
  }
  std::cout << "mean point error: raw " <<
    (sum.paired_scans ? short_metres(sum.raw.mean) + " m" : std::string("n/a")) <<
    " -> undistorted " <<
    (sum.paired_scans ? short_metres(sum.undistorted.mean) + " m" : std::string("n/a")) << "\n";
  return status;
}

}  // namespace

int main(int argc, char ** argv)
{
  return sweepmend::cli::run_program(kProgram, argc, argv, run);
}
