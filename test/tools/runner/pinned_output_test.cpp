// The bytes the node publishes, pinned: fixed synthetic recordings go through sweepmend_bag and
// the SHA-256 of every recorded output message must equal the digest in pinned_outputs.txt.
//
// The digests were taken from the node before any of its speed work, so a faster node that
// changes even one bit of one cloud fails here. They may change only with a deliberate change of
// behaviour (and then the commit says which). To regenerate them after such a change:
//
//   SWEEPMEND_PIN_REGENERATE=1 build/test/tools/runner/pinned_output_test
//
// which rewrites test/tools/runner/pinned_outputs.txt in the source tree; review the diff.
//
// Each recording also has a digest of its input messages. When that one differs, the recording
// generator changed (not the node), and the pinned outputs say nothing until regenerated.
//
// The digests hold for x86-64 builds with the project's own flags (no -march): PCL's transform
// sums in another order when built for AVX, and a processor with fused multiply-add may round
// differently, so on other processors the test reports instead of comparing.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "storage/bag.hpp"

namespace fs = std::filesystem;

namespace
{

std::string sha256_hex(const void * data, std::size_t size)
{
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(data, size, digest, &length, EVP_sha256(), nullptr) != 1) {
    throw std::runtime_error("EVP_Digest(sha256) failed");
  }
  static const char * hex = "0123456789abcdef";
  std::string out;
  for (unsigned int i = 0; i < length; ++i) {
    out += hex[digest[i] >> 4];
    out += hex[digest[i] & 0x0f];
  }
  return out;
}

/// One recording: how it is made and how the node is run on it.
struct Case
{
  std::string name;
  std::vector<std::string> synth_args;
  std::vector<std::string> node_args;
};

// Mid-360 while shaking and Vanjee while spinning, each in both storage formats. One run of each
// sensor also rotates the output by a non-trivial extrinsic rotation, so that the rotation
// arithmetic of both published clouds and of the compensation is pinned too (the sensors'
// own files carry the identity).
std::vector<Case> cases()
{
  const std::string mid360 = std::string(SWEEPMEND_SOURCE_DIR) + "/config/mid360.yaml";
  const std::string vanjee = std::string(SWEEPMEND_SOURCE_DIR) + "/config/vanjee722.yaml";
  const std::string rotated =
    "extrinsic_R:=[0.9950041652780258, -0.09983341664682815, 0.0, "
    "0.09933466539753061, 0.9900332889206208, 0.09983341664682815, "
    "-0.009966711079379187, -0.09933466539753061, 0.9950041652780258]";
  return {
    {"mid360_shake_mcap",
      {"--lidar", "mid360", "--motion", "shake", "--duration", "4", "--seed", "7",
        "--storage", "mcap"},
      {"--params-file", mid360}},
    {"mid360_shake_db3_rotated",
      {"--lidar", "mid360", "--motion", "shake", "--duration", "4", "--seed", "7",
        "--storage", "sqlite3"},
      {"--params-file", mid360, "-p", rotated}},
    {"vanjee_spin_mcap_rotated",
      {"--lidar", "vanjee722", "--motion", "spin", "--duration", "4", "--seed", "11",
        "--storage", "mcap"},
      {"--params-file", vanjee, "-p", rotated}},
    {"vanjee_spin_db3",
      {"--lidar", "vanjee722", "--motion", "spin", "--duration", "4", "--seed", "11",
        "--storage", "sqlite3"},
      {"--params-file", vanjee}},
  };
}

std::string quoted(const std::string & s)
{
  std::string out = "'";
  for (char c : s) {
    out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return out + "'";
}

void run_or_fail(const std::string & program, const std::vector<std::string> & args,
  const fs::path & log)
{
  std::string command = quoted(program);
  for (const auto & a : args) {
    command += " " + quoted(a);
  }
  command += " > " + quoted(log.string()) + " 2>&1";
  const int status = std::system(command.c_str());
  if (status != 0) {
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    throw std::runtime_error(command + " failed (" + std::to_string(status) + "):\n" + text.str());
  }
}

/// Digest lines of one recording: its input, then every output message in recorded order.
std::vector<std::string> digest_lines(const Case & c, const fs::path & dir)
{
  const fs::path in = dir / (c.name + "_in");
  const fs::path out = dir / (c.name + "_out");
  std::vector<std::string> synth_args = {in.string()};
  synth_args.insert(synth_args.end(), c.synth_args.begin(), c.synth_args.end());
  run_or_fail(SWEEPMEND_SYNTH_EXE, synth_args, dir / (c.name + "_synth.log"));
  std::vector<std::string> bag_args = {in.string(), out.string(), "--ros-args"};
  bag_args.insert(bag_args.end(), c.node_args.begin(), c.node_args.end());
  bag_args.insert(bag_args.end(), {"--log-level", "fatal"});
  run_or_fail(SWEEPMEND_BAG_EXE, bag_args, dir / (c.name + "_bag.log"));

  std::vector<std::string> lines;
  {
    // One digest over every input message (topic, receive time, bytes).
    EVP_MD_CTX * ctx = EVP_MD_CTX_new();
    EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr);
    auto reader = sweepmend::bag::Reader::open(in.string());
    sweepmend::bag::BagMessage m;
    std::size_t count = 0;
    while (reader->read_next(m)) {
      const std::string head = m.topic + "\n" + std::to_string(m.timestamp) + "\n" +
        std::to_string(m.data.size()) + "\n";
      EVP_DigestUpdate(ctx, head.data(), head.size());
      EVP_DigestUpdate(ctx, m.data.data(), m.data.size());
      ++count;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(ctx, digest, &length);
    EVP_MD_CTX_free(ctx);
    lines.push_back(
      c.name + " input " + std::to_string(count) + " " + sha256_hex(digest, length));
  }
  auto reader = sweepmend::bag::Reader::open(out.string());
  sweepmend::bag::BagMessage m;
  std::size_t index = 0;
  while (reader->read_next(m)) {
    lines.push_back(
      c.name + " " + std::to_string(index++) + " " + m.topic + " " + std::to_string(m.timestamp) +
      " " + std::to_string(m.data.size()) + " " + sha256_hex(m.data.data(), m.data.size()));
  }
  return lines;
}

std::map<std::string, std::vector<std::string>> read_pinned(const fs::path & file)
{
  std::map<std::string, std::vector<std::string>> out;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') {
      continue;
    }
    out[line.substr(0, line.find(' '))].push_back(line);
  }
  return out;
}

class PinnedOutputTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    dir_ = fs::temp_directory_path() / ("sweepmend_pinned_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {fs::remove_all(dir_);}
  fs::path dir_;
};

TEST_F(PinnedOutputTest, EveryOutputMessageOfTheFixedRecordingsKeepsItsBytes)
{
  const fs::path pinned_file = fs::path(SWEEPMEND_SOURCE_DIR) / "test/tools/runner/pinned_outputs.txt";
  std::map<std::string, std::vector<std::string>> actual;
  for (const auto & c : cases()) {
    actual[c.name] = digest_lines(c, dir_);
  }

  const char * regenerate = std::getenv("SWEEPMEND_PIN_REGENERATE");
  if (regenerate != nullptr && std::string(regenerate) == "1") {
    std::ofstream out(pinned_file);
    out << "# SHA-256 of every message sweepmend_bag records from the fixed recordings of\n"
      "# pinned_output_test.cpp: recording, index, topic, receive time (ns), size, digest.\n"
      "# Regenerate only for a deliberate change of behaviour (see the test).\n";
    for (const auto & c : cases()) {
      for (const auto & line : actual[c.name]) {
        out << line << "\n";
      }
    }
    GTEST_SKIP() << "rewrote " << pinned_file;
  }
#if !defined(__x86_64__)
  GTEST_SKIP() << "digests are recorded on x86-64; this processor may round differently";
#endif

  const auto pinned = read_pinned(pinned_file);
  ASSERT_FALSE(pinned.empty()) << "no digests in " << pinned_file;
  for (const auto & c : cases()) {
    SCOPED_TRACE(c.name);
    const auto it = pinned.find(c.name);
    ASSERT_NE(it, pinned.end()) << "no digests for this recording";
    const auto & want = it->second;
    const auto & got = actual[c.name];
    ASSERT_FALSE(got.empty());
    // The input first: if the recording itself changed, the outputs cannot be compared.
    ASSERT_EQ(got.front(), want.front()) <<
      "the synthetic recording changed (the generator, not the node); regenerate the digests";
    EXPECT_EQ(got.size(), want.size()) << "number of recorded output messages";
    int reported = 0;
    for (std::size_t i = 1; i < std::min(got.size(), want.size()); ++i) {
      if (got[i] != want[i] && reported++ < 5) {
        ADD_FAILURE() << "output message differs:\n  got  " << got[i] << "\n  want " << want[i];
      }
    }
    EXPECT_EQ(reported, 0) << "output messages with other bytes than pinned";
  }
}

}  // namespace
