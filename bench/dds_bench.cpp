// One 20 000-point PointCloud2 (960 kB) from this process to an echo process and back over DDS
// on loopback. This side writes and takes with Cyclone's C API and the idlc types; the echo is
// either compat's transport (sweepmend_transport_echo: decode, hand to the subscription, encode,
// write) or a plain Cyclone program with the same idlc type (the floor). Reported per one-way
// message: latency (half the round trip) and CPU time of both processes together.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "dds/dds.h"
#include "ros_types.h"

namespace
{

constexpr uint32_t kPoints = 20000;
constexpr uint32_t kPointStep = 48;  // what the node publishes: PointXYZINormal

// The loopback configuration and a domain of the benchmarks' own.
void use_loopback(const char * domain)
{
  setenv("CYCLONEDDS_URI", "file://" SWEEPMEND_SOURCE_DIR "/config/cyclonedds_loopback.xml", 1);
  setenv("ROS_DOMAIN_ID", domain, 1);
}

// CPU seconds (user + system) a process has used so far.
double cpu_seconds(pid_t pid)
{
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // Fields after the command name, which is in parentheses and may hold spaces.
  std::istringstream rest(text.substr(text.rfind(')') + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) {
      utime = std::stoull(field);
    } else if (i == 15) {
      stime = std::stoull(field);
    }
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double self_cpu_seconds()
{
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
}

// The echo process; stopped with SIGTERM when the benchmark ends.
class Child
{
public:
  explicit Child(const char * exe)
  {
    pid_ = fork();
    if (pid_ == 0) {
      execl(exe, exe, static_cast<char *>(nullptr));
      _exit(127);
    }
  }
  ~Child()
  {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
  }
  pid_t pid() const {return pid_;}

private:
  pid_t pid_{-1};
};

// Round trips timed one by one; the counters are per one-way message.
template<typename SendAndWait>
void measure(benchmark::State & state, pid_t child, SendAndWait send_and_wait)
{
  const double cpu0 = self_cpu_seconds() + cpu_seconds(child);
  double seconds = 0.0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    if (!send_and_wait()) {
      state.SkipWithError("no echo within 5 s");
      return;
    }
    const double rtt = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    state.SetIterationTime(rtt);
    seconds += rtt;
  }
  const double cpu = self_cpu_seconds() + cpu_seconds(child) - cpu0;
  const double messages = 2.0 * static_cast<double>(state.iterations());
  state.counters["latency_us"] = seconds / messages * 1e6;
  state.counters["cpu_us_per_msg"] = cpu / messages * 1e6;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 2 * kPoints * kPointStep);
}

void RoundTrip(benchmark::State & state, const char * echo_exe, int domain)
{
  use_loopback(std::to_string(domain).c_str());
  Child echo(echo_exe);
  const dds_entity_t participant = dds_create_participant(domain, nullptr, nullptr);
  if (participant < 0) {
    state.SkipWithError("cannot create a participant");
    return;
  }
  dds_qos_t * qos = dds_create_qos();
  dds_qset_reliability(qos, DDS_RELIABILITY_RELIABLE, DDS_INFINITY);
  dds_qset_history(qos, DDS_HISTORY_KEEP_LAST, 1);
  const dds_entity_t ping = dds_create_topic(
    participant, &sensor_msgs_msg_dds__PointCloud2__desc, "rt/bench/ping", nullptr, nullptr);
  const dds_entity_t pong = dds_create_topic(
    participant, &sensor_msgs_msg_dds__PointCloud2__desc, "rt/bench/pong", nullptr, nullptr);
  const dds_entity_t writer = dds_create_writer(participant, ping, qos, nullptr);
  const dds_entity_t reader = dds_create_reader(participant, pong, qos, nullptr);
  dds_delete_qos(qos);
  const dds_entity_t waitset = dds_create_waitset(participant);
  dds_waitset_attach(waitset, dds_create_readcondition(reader, DDS_ANY_STATE), 0);

  // Both directions matched before the first message.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  bool matched = false;
  while (!matched && std::chrono::steady_clock::now() < deadline) {
    dds_publication_matched_status_t pm{};
    dds_subscription_matched_status_t sm{};
    dds_get_publication_matched_status(writer, &pm);
    dds_get_subscription_matched_status(reader, &sm);
    matched = pm.current_count > 0 && sm.current_count > 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (!matched) {
    state.SkipWithError("the echo process never matched");
    dds_delete(participant);
    return;
  }

  static const char * names[] = {"x", "y", "z", "normal_x", "normal_y", "normal_z", "intensity",
    "curvature"};
  static const uint32_t offsets[] = {0, 4, 8, 16, 20, 24, 32, 36};
  std::vector<sensor_msgs_msg_dds__PointField_> fields(8);
  for (size_t i = 0; i < 8; ++i) {
    fields[i].name = const_cast<char *>(names[i]);
    fields[i].offset = offsets[i];
    fields[i].datatype = 7;
    fields[i].count = 1;
  }
  std::vector<uint8_t> data(kPoints * kPointStep);
  for (size_t i = 0; i < data.size(); ++i) {
    data[i] = static_cast<uint8_t>(i * 31);
  }
  sensor_msgs_msg_dds__PointCloud2_ cloud{};
  cloud.header.frame_id = const_cast<char *>("lidar_link");
  cloud.height = 1;
  cloud.width = kPoints;
  cloud.fields._length = cloud.fields._maximum = 8;
  cloud.fields._buffer = fields.data();
  cloud.point_step = kPointStep;
  cloud.row_step = kPointStep * kPoints;
  cloud.data._length = cloud.data._maximum = static_cast<uint32_t>(data.size());
  cloud.data._buffer = data.data();
  cloud.is_dense = true;

  int32_t seq = 0;
  measure(state, echo.pid(), [&]() {
      cloud.header.stamp.sec = ++seq;
      if (dds_write(writer, &cloud) != DDS_RETCODE_OK) {
        return false;
      }
      const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      while (std::chrono::steady_clock::now() < until) {
        dds_waitset_wait(waitset, nullptr, 0, DDS_MSECS(100));
        void * samples[1] = {nullptr};
        dds_sample_info_t info;
        while (dds_take(reader, samples, &info, 1, 1) > 0) {
          const bool mine = info.valid_data &&
            static_cast<sensor_msgs_msg_dds__PointCloud2_ *>(samples[0])->header.stamp.sec == seq;
          dds_return_loan(reader, samples, 1);
          if (mine) {
            return true;
          }
        }
      }
      return false;
    });
  dds_delete(participant);
}

void BM_DdsCloudRoundTripCycloneFloor(benchmark::State & state)
{
  RoundTrip(state, SWEEPMEND_CYCLONE_ECHO_EXE, 201);
}

#ifdef SWEEPMEND_TRANSPORT_ECHO_EXE
void BM_DdsCloudRoundTripTransport(benchmark::State & state)
{
  RoundTrip(state, SWEEPMEND_TRANSPORT_ECHO_EXE, 200);
}
#endif

}  // namespace

BENCHMARK(BM_DdsCloudRoundTripCycloneFloor)->UseManualTime()->Unit(benchmark::kMicrosecond)
->MinTime(2.0);
#ifdef SWEEPMEND_TRANSPORT_ECHO_EXE
BENCHMARK(BM_DdsCloudRoundTripTransport)->UseManualTime()->Unit(benchmark::kMicrosecond)
->MinTime(2.0);
#endif
