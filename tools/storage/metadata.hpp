// metadata.yaml of a rosbag2 bag directory: reading (versions 1 to 9) and writing (version 5).
#ifndef STORAGE__METADATA_HPP_
#define STORAGE__METADATA_HPP_

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "storage/bag.hpp"

namespace sweepmend
{
namespace bag
{

/// One data file of a bag as metadata.yaml lists it (version 5 and later).
struct FileInformation
{
  std::string path;            ///< relative to the bag directory
  int64_t starting_time{0};    ///< ns since the epoch
  int64_t duration{0};         ///< ns
  uint64_t message_count{0};
};

struct TopicInformation
{
  TopicMetadata topic_metadata;
  uint64_t message_count{0};
};

/// The content of metadata.yaml. An empty bag has starting_time = INT64_MAX and duration 0, as
/// rosbag2 writes it.
struct BagMetadata
{
  int version{5};
  std::string storage_identifier;
  std::vector<std::string> relative_file_paths;
  std::vector<FileInformation> files;
  int64_t duration{0};  ///< ns
  int64_t starting_time{std::numeric_limits<int64_t>::max()};  ///< ns since the epoch
  uint64_t message_count{0};
  std::vector<TopicInformation> topics_with_message_count;
  std::string compression_format;
  std::string compression_mode;
};

/// Parses metadata.yaml text; `source` names it in errors. Throws BagError when a key rosbag2
/// requires for the file's version is missing or malformed.
BagMetadata parse_metadata(const std::string & yaml_text, const std::string & source);
/// Reads <bag_directory>/metadata.yaml.
BagMetadata read_metadata(const std::string & bag_directory);
/// The text rosbag2 Humble writes (version 5 layout and key order, whatever metadata.version is).
std::string metadata_yaml(const BagMetadata & metadata);
/// Writes <bag_directory>/metadata.yaml.
void write_metadata(const std::string & bag_directory, const BagMetadata & metadata);

}  // namespace bag
}  // namespace sweepmend

#endif  // STORAGE__METADATA_HPP_
