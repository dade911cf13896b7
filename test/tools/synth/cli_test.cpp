// The two programs end to end: sweepmend_synth writes a recording, a stand-in for the node's
// output is made from its truth with known offsets, and sweepmend_eval must report them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cdr/cdr.hpp"
#include "eval/evaluation.hpp"
#include "storage/bag.hpp"

namespace
{

namespace fs = std::filesystem;

struct Result
{
  int status{-1};
  std::string out;
};

Result run(const std::string & command)
{
  Result r;
  FILE * pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) {
    return r;
  }
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof(buf), pipe)) > 0) {
    r.out.append(buf, n);
  }
  const int status = ::pclose(pipe);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

std::string last_line(const std::string & text)
{
  std::string t = text;
  while (!t.empty() && t.back() == '\n') {
    t.pop_back();
  }
  return t.substr(t.find_last_of('\n') + 1);
}

class CommandLine : public testing::Test
{
protected:
  void SetUp() override
  {
    dir_ = fs::temp_directory_path() / ("synth_cli_test_" +
      std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {fs::remove_all(dir_);}
  std::string path(const std::string & name) const {return (dir_ / name).string();}

  fs::path dir_;
};

TEST_F(CommandLine, SynthRejectsBadArgumentsAndKeepsWhatIsNotABag)
{
  const std::string synth = SWEEPMEND_SYNTH_EXE;
  Result r = run(synth + " --help");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("usage: sweepmend_synth OUT"), std::string::npos);
  EXPECT_EQ(run(synth).status, 2);
  EXPECT_EQ(run(synth + " " + path("x") + " --lidar hdl64").status, 2);
  EXPECT_EQ(run(synth + " " + path("x") + " --motion jog").status, 2);
  EXPECT_EQ(run(synth + " " + path("x") + " --duration -1").status, 2);
  EXPECT_EQ(run(synth + " " + path("x") + " --extrinsic-T 1,2").status, 2);
  EXPECT_EQ(run(synth + " " + path("x") + " --storage rosbag").status, 2);
  EXPECT_FALSE(fs::exists(path("x")));

  // A directory with other files in it is never replaced.
  fs::create_directories(path("notes"));
  std::ofstream(path("notes/todo.txt")) << "keep me\n";
  r = run(synth + " " + path("notes") + " --duration 0.2 --overwrite");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(fs::exists(path("notes/todo.txt")));

  // An existing bag is replaced only when asked to.
  ASSERT_EQ(run(synth + " " + path("bag") + " --duration 0.2").status, 0);
  EXPECT_EQ(run(synth + " " + path("bag") + " --duration 0.2").status, 1);
  r = run(synth + " " + path("bag") + " --duration 0.3 --overwrite --lidar vanjee722");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("3 scans of vanjee722"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("node arguments: --ros-args --params-file config/vanjee722.yaml\n"),
    std::string::npos) << r.out;
  r = run(synth + " " + path("bag") + " --duration 0.2 --overwrite --extrinsic-T 0.5,0,-1e-3");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("--params-file config/mid360.yaml -p extrinsic_T:=[0.5,0.0,-0.001]\n"),
    std::string::npos) << r.out;
}

TEST_F(CommandLine, EvalReportsKnownErrorsOfAStandInOutput)
{
  const std::string recording = path("recording");
  Result r = run(std::string(SWEEPMEND_SYNTH_EXE) + " " + recording +
      " --duration 0.5 --motion walk --storage sqlite3");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("node arguments: --ros-args --params-file config/mid360.yaml\n"),
    std::string::npos) << r.out;

  // The stand-in output: the truth moved by 0.1 m (raw) and 3 mm (undistorted), published
  // with the node's stamp rounding and layout, without the scan's first point, and without an
  // undistorted cloud for the first scan (the node initialises on it).
  auto writer = sweepmend::bag::Writer::create(path("output"), "mcap");
  for (const char * topic : {"/livox/lidar_undistorted", "/livox/lidar_undistorted_raw"}) {
    sweepmend::bag::TopicMetadata meta;
    meta.name = topic;
    meta.type = "sensor_msgs/msg/PointCloud2";
    writer->create_topic(meta);
  }
  auto reader = sweepmend::bag::Reader::open(recording);
  sweepmend::bag::BagMessage m;
  int scans = 0;
  while (reader->read_next(m)) {
    if (m.topic != "/sweepmend/ground_truth") {
      continue;
    }
    auto truth = sweepmend::cdr::deserialize<sensor_msgs::msg::PointCloud2>(m.data);
    auto points = sweepmend::eval::decode_cloud(truth);
    points.erase(points.begin());
    for (const bool undistorted : {false, true}) {
      if (undistorted && scans == 0) {
        continue;
      }
      sensor_msgs::msg::PointCloud2 out = truth;
      out.header.stamp.nanosec -= 150;  // the node's end time, truncated
      out.width = static_cast<uint32_t>(points.size());
      out.row_step = out.width * out.point_step;
      out.data.resize(out.row_step);
      for (std::size_t i = 0; i < points.size(); ++i) {
        sweepmend::eval::CloudPoint p = points[points.size() - 1 - i];  // reordered
        if (undistorted) {
          p.y += 0.003f;
        } else {
          p.x += 0.1f;
        }
        const float v[5] = {p.x, p.y, p.z, p.intensity, p.curvature};
        std::memcpy(out.data.data() + i * out.point_step, v, sizeof(v));
      }
      writer->write(undistorted ? "/livox/lidar_undistorted" : "/livox/lidar_undistorted_raw",
        m.timestamp + 1000000, sweepmend::cdr::serialize(out));
    }
    ++scans;
  }
  writer->close();
  ASSERT_EQ(scans, 5);

  const std::string png = path("scan.png");
  r = run(std::string(SWEEPMEND_EVAL_EXE) + " " + path("output") + " " + recording + " --png " +
      png);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(last_line(r.out), "mean point error: raw 0.1 m -> undistorted 0.003 m") << r.out;
  EXPECT_NE(r.out.find("scans with truth: 5; with raw and undistorted output: 4; raw only: 1"),
    std::string::npos) << r.out;
  // One dropped point per scan; nothing unmatched.
  EXPECT_NE(r.out.find("unmatched: 0 output clouds, 0 output points without a truth point; "
    "0 non-finite points; 4 truth points not in the undistorted output"), std::string::npos)
    << r.out;
  EXPECT_TRUE(fs::exists(png));

  // Without the truth there is nothing to score.
  r = run(std::string(SWEEPMEND_EVAL_EXE) + " " + path("output"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("no ground truth"), std::string::npos) << r.out;
}

}  // namespace
