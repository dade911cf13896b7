// The per-file storages behind Reader and Writer (one .db3 or .mcap file each).
#ifndef STORAGE__STORAGE_FILES_HPP_
#define STORAGE__STORAGE_FILES_HPP_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "storage/bag.hpp"

namespace sweepmend
{
namespace bag
{
namespace detail
{

std::unique_ptr<Reader> open_sqlite_file(const std::string & path);
std::unique_ptr<Reader> open_mcap_file(const std::string & path);

/// One data file being written; topics are created before their first message.
class FileWriter
{
public:
  virtual ~FileWriter() = default;
  virtual void create_topic(const TopicMetadata & topic) = 0;
  virtual void write(
    const std::string & topic, int64_t timestamp, const std::vector<uint8_t> & data) = 0;
  /// Encodes straight into the file's buffer where the format allows, by default through a
  /// vector; encode sets every byte.
  virtual void write(
    const std::string & topic, int64_t timestamp, std::size_t size,
    const std::function<void(uint8_t * out)> & encode)
  {
    std::vector<uint8_t> data(size);
    encode(data.data());
    write(topic, timestamp, data);
  }
  virtual void close() = 0;
};

std::unique_ptr<FileWriter> create_sqlite_file(const std::string & path);
std::unique_ptr<FileWriter> create_mcap_file(
  const std::string & path, const MessageDefinitionLookup & definitions);

}  // namespace detail
}  // namespace bag
}  // namespace sweepmend

#endif  // STORAGE__STORAGE_FILES_HPP_
