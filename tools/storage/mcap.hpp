// MCAP files at record level: the reader and writer under the "mcap" bag storage.
#ifndef STORAGE__MCAP_HPP_
#define STORAGE__MCAP_HPP_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "storage/bag.hpp"
#include "storage/byte_io.hpp"

namespace sweepmend
{
namespace bag
{

/// A Schema record: how the messages of a channel are defined.
struct McapSchema
{
  uint16_t id{0};
  std::string name;       ///< e.g. "sensor_msgs/msg/Imu"
  std::string encoding;   ///< e.g. "ros2msg"; empty when the writer had no definition
  std::vector<uint8_t> data;
};

/// A Channel record: one stream of messages (one topic of a bag).
struct McapChannel
{
  uint16_t id{0};
  uint16_t schema_id{0};  ///< 0: schemaless
  std::string topic;
  std::string message_encoding;  ///< "cdr" in ROS 2 files
  std::map<std::string, std::string> metadata;
};

/// A Message record. Times are ns; rosbag2 uses log_time as the receive time.
struct McapMessage
{
  uint16_t channel_id{0};
  uint32_t sequence{0};
  uint64_t log_time{0};
  uint64_t publish_time{0};
  std::vector<uint8_t> data;
};

/// Reads every message of an MCAP file by scanning its data section (the summary is not needed,
/// so files without index or summary read as well). Chunks may be uncompressed, zstd or lz4.
/// The constructor indexes the file; a truncated or corrupt file throws BagError naming it.
class McapReader
{
public:
  enum class Order
  {
    log_time,  ///< by log time, stable (ties keep file order); what rosbag2 plays
    file       ///< as the records appear in the file
  };

  explicit McapReader(const std::string & path, Order order = Order::log_time);
  ~McapReader();
  McapReader(const McapReader &) = delete;
  McapReader & operator=(const McapReader &) = delete;

  const std::string & path() const {return path_;}
  const std::string & profile() const {return profile_;}
  const std::string & library() const {return library_;}
  const std::map<uint16_t, McapSchema> & schemas() const {return schemas_;}
  const std::map<uint16_t, McapChannel> & channels() const {return channels_;}

  uint64_t message_count() const {return entries_.size();}
  std::map<uint16_t, uint64_t> channel_message_counts() const;
  uint64_t message_start_time() const;  ///< ns; 0 without messages
  uint64_t message_end_time() const;    ///< ns; 0 without messages

  /// The channel of a message (the id was checked while indexing).
  const McapChannel & channel(uint16_t channel_id) const;
  /// Name of the channel's schema; empty for a schemaless channel.
  std::string schema_name(uint16_t channel_id) const;

  /// Next message in the chosen order; false at the end. Throws BagError on a read failure.
  bool read_next(McapMessage & msg);
  /// Starts over at the first message.
  void rewind() {next_ = 0;}

private:
  struct ChunkInfo
  {
    uint64_t records_offset{0};     // file offset of the (possibly compressed) records
    uint64_t compressed_size{0};
    uint64_t uncompressed_size{0};
    std::string compression;
  };
  struct Entry
  {
    uint64_t log_time;
    uint64_t publish_time;
    uint64_t offset;   // of the message data: file offset, or offset in the uncompressed chunk
    uint64_t size;
    uint32_t chunk;    // index into chunks_, or kNoChunk
    uint32_t sequence;
    uint16_t channel_id;
  };
  static constexpr uint32_t kNoChunk = 0xffffffffu;

  void index_file();
  void index_records(const uint8_t * data, uint64_t size, uint32_t chunk, uint64_t base);
  void on_schema(const uint8_t * data, uint64_t size);
  void on_channel(const uint8_t * data, uint64_t size);
  const std::vector<uint8_t> & chunk_records(uint32_t chunk);
  void read_at(uint64_t offset, void * out, uint64_t size) const;
  /// The bytes [offset, offset + size) of the file, read into `scratch`.
  const uint8_t * bytes_at(uint64_t offset, uint64_t size, ByteBuffer & scratch) const;
  [[noreturn]] void fail(const std::string & what) const;

  std::string path_;
  int fd_{-1};
  uint64_t file_size_{0};
  std::string profile_;
  std::string library_;
  std::map<uint16_t, McapSchema> schemas_;
  std::map<uint16_t, McapChannel> channels_;
  std::vector<ChunkInfo> chunks_;
  std::vector<Entry> entries_;
  std::size_t next_{0};
  uint32_t cached_chunk_{kNoChunk};
  std::vector<uint8_t> cached_records_;
};

/// Options of McapWriter.
struct McapWriterOptions
{
  std::string profile{"ros2"};
  std::string library{"sweepmend"};
  std::string compression;          ///< chunk compression: "", "zstd" or "lz4"
  uint64_t chunk_size{4u << 20};    ///< bytes of records per chunk; 0 writes no chunks
};

/// Writes an indexed MCAP file: Header, chunks each followed by its Message Index records,
/// Data End, a summary (Schema, Channel, Statistics, Metadata Index, Chunk Index) with Summary
/// Offsets, and the Footer. All CRCs are computed. Throws BagError on any I/O failure.
class McapWriter
{
public:
  McapWriter(const std::string & path, const McapWriterOptions & options = McapWriterOptions());
  /// Closes the file if close() was not called (errors are then swallowed).
  ~McapWriter();
  McapWriter(const McapWriter &) = delete;
  McapWriter & operator=(const McapWriter &) = delete;

  /// Returns the new schema id (1, 2, ...).
  uint16_t add_schema(
    const std::string & name, const std::string & encoding, const std::string & data);
  /// Returns the new channel id (1, 2, ...); schema_id 0 means schemaless.
  uint16_t add_channel(
    uint16_t schema_id, const std::string & topic, const std::string & message_encoding,
    const std::map<std::string, std::string> & metadata);
  /// A Metadata record (written outside chunks and listed in the summary).
  void add_metadata(const std::string & name, const std::map<std::string, std::string> & metadata);
  /// Times in ns; they need not be increasing.
  void write(
    uint16_t channel_id, uint32_t sequence, uint64_t log_time, uint64_t publish_time,
    const uint8_t * data, std::size_t size);
  /// As above, with the `size` message bytes put by `encode` straight into the record; encode
  /// must write every one of them (the room is not cleared first).
  void write(
    uint16_t channel_id, uint32_t sequence, uint64_t log_time, uint64_t publish_time,
    std::size_t size, const std::function<void(uint8_t * out)> & encode);
  void close();

private:
  struct IndexedChunk
  {
    uint64_t start_time, end_time, offset, length, index_length, compressed_size,
      uncompressed_size;
    std::map<uint16_t, uint64_t> index_offsets;
  };
  struct IndexedMetadata
  {
    uint64_t offset, length;
    std::string name;
  };

  template<typename Alloc>
  void emit(const std::vector<uint8_t, Alloc> & bytes);
  /// Writes bytes whose CRC the caller already has, so they are not read a second time.
  void emit(const ByteBuffer & bytes, uint32_t crc);
  void emit_record(std::vector<uint8_t> & record);  // writes to the chunk or the file
  void flush_chunk();
  [[noreturn]] void fail(const std::string & what) const;

  std::string path_;
  McapWriterOptions options_;
  std::FILE * file_{nullptr};
  uint64_t position_{0};
  uint32_t data_crc_{0};
  bool closed_{false};

  std::vector<std::vector<uint8_t>> schema_records_;
  std::vector<std::vector<uint8_t>> channel_records_;
  std::map<uint16_t, uint16_t> channel_schema_;  // channel id -> schema id
  std::vector<IndexedChunk> chunk_index_;
  std::vector<IndexedMetadata> metadata_index_;

  ByteBuffer chunk_;  // uncompressed records of the open chunk
  uint64_t chunk_start_{0};
  uint64_t chunk_end_{0};
  bool chunk_has_messages_{false};
  std::map<uint16_t, std::vector<std::pair<uint64_t, uint64_t>>> chunk_message_index_;

  uint64_t message_count_{0};
  uint64_t start_time_{0};
  uint64_t end_time_{0};
  std::map<uint16_t, uint64_t> channel_counts_;
  ByteBuffer scratch_;
};

}  // namespace bag
}  // namespace sweepmend

#endif  // STORAGE__MCAP_HPP_
