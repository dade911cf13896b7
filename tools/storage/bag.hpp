// rosbag2 storage without ROS 2: reading and writing SQLite (.db3) and MCAP bags.
#ifndef STORAGE__BAG_HPP_
#define STORAGE__BAG_HPP_

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace sweepmend
{
namespace bag
{

/// A bag that cannot be opened, read or written; what() names the file and the problem.
class BagError : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};

/// One topic of a bag, as rosbag2 describes it.
struct TopicMetadata
{
  std::string name;                        ///< e.g. "/livox/imu"
  std::string type;                        ///< e.g. "sensor_msgs/msg/Imu"
  std::string serialization_format{"cdr"};
  std::string offered_qos_profiles;        ///< YAML text as rosbag2 stores it; may be empty
};

/// One recorded message: serialised CDR bytes (with encapsulation header) and receive time.
struct BagMessage
{
  std::string topic;
  int64_t timestamp{0};  ///< receive time, ns since the epoch (the bag's time line)
  std::vector<uint8_t> data;
};

/// Sequential reader. open() accepts a bag directory (with or without metadata.yaml) or a single
/// .db3 / .mcap file; messages come in receive-time order across all files of the bag.
class Reader
{
public:
  virtual ~Reader() = default;
  static std::unique_ptr<Reader> open(const std::string & path);

  virtual std::string storage_id() const = 0;  ///< "sqlite3" or "mcap"
  virtual const std::vector<TopicMetadata> & topics() const = 0;
  /// Messages per topic name.
  virtual std::map<std::string, uint64_t> message_counts() const = 0;
  virtual int64_t start_time() const = 0;  ///< ns, earliest timestamp (0 for an empty bag)
  virtual int64_t end_time() const = 0;    ///< ns, latest timestamp (0 for an empty bag)
  /// Next message in receive-time order; false at the end. Throws BagError on a corrupt file.
  virtual bool read_next(BagMessage & msg) = 0;
};

/// Gives the ros2msg definition text of a type ("sensor_msgs/msg/Imu"), or "" when unknown.
using MessageDefinitionLookup = std::function<std::string(const std::string & type)>;

/// Writer of a new bag directory (metadata.yaml version 5 plus one data file) in the format
/// rosbag2 Humble writes. create() refuses a path that exists.
class Writer
{
public:
  virtual ~Writer() = default;
  /// storage_id "sqlite3" or "mcap"; throws BagError for anything else.
  /// MCAP Schema records take their text from the CDR codecs' definitions.
  static std::unique_ptr<Writer> create(const std::string & directory, const std::string & storage_id);
  /// As above with another source of definitions (an empty lookup writes empty schemas).
  static std::unique_ptr<Writer> create(
    const std::string & directory, const std::string & storage_id,
    const MessageDefinitionLookup & definitions);

  virtual void create_topic(const TopicMetadata & topic) = 0;
  /// The topic must have been created; timestamps need not be increasing.
  virtual void write(const std::string & topic, int64_t timestamp, const std::vector<uint8_t> & data) = 0;
  /// Writes a message of `size` bytes that `encode` puts straight into the storage's own buffer,
  /// saving the copy through a vector of its own. encode must set every one of the bytes: the
  /// buffer is not cleared first.
  virtual void write(
    const std::string & topic, int64_t timestamp, std::size_t size,
    const std::function<void(uint8_t * out)> & encode) = 0;
  /// Finishes the data file and writes metadata.yaml; called by the destructor if not before.
  virtual void close() = 0;
};

/// The offered_qos_profiles text rosbag2 Humble records for a publisher of the given QoS
/// (integer codes: history 1 keep-last, reliability 1 reliable / 2 best effort,
/// durability 1 transient local / 2 volatile).
std::string qos_profile_yaml(uint32_t depth, bool reliable, bool transient_local);

}  // namespace bag
}  // namespace sweepmend

#endif  // STORAGE__BAG_HPP_
