#include "storage/mcap.hpp"

#include <fcntl.h>
#include <libdeflate.h>
#include <lz4frame.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "byte_io.hpp"

namespace sweepmend
{
namespace bag
{
namespace
{

constexpr uint8_t kMagic[8] = {0x89, 'M', 'C', 'A', 'P', 0x30, '\r', '\n'};
constexpr uint64_t kPrefix = 9;             // opcode + u64 length
constexpr uint64_t kFooterRecord = 9 + 20;
constexpr uint64_t kMessageHeader = 22;     // channel, sequence, log and publish time

enum Opcode : uint8_t
{
  kHeader = 0x01, kFooter = 0x02, kSchema = 0x03, kChannel = 0x04, kMessage = 0x05,
  kChunk = 0x06, kMessageIndex = 0x07, kChunkIndex = 0x08, kStatistics = 0x0B,
  kMetadata = 0x0C, kMetadataIndex = 0x0D, kSummaryOffset = 0x0E, kDataEnd = 0x0F
};

// libdeflate's CRC-32 (the same polynomial and conventions as zlib's) uses the processor's
// carry-less multiply where there is one: the files' hundreds of megabytes pass in a few ms.
uint32_t crc32_of(uint32_t crc, const uint8_t * data, uint64_t size)
{
  return libdeflate_crc32(crc, data, static_cast<std::size_t>(size));
}

// CRC of A followed by B from the CRCs of both, without reading B again.
uint32_t crc32_then(uint32_t crc_a, uint32_t crc_b, uint64_t size_b)
{
  return static_cast<uint32_t>(
    ::crc32_combine(crc_a, crc_b, static_cast<z_off_t>(size_b)));
}

// Output grows only as the decompressor produces bytes, so a corrupt size field cannot make us
// allocate gigabytes up front; one spare byte detects data beyond the declared size.
void grow(std::vector<uint8_t> & out, uint64_t expected, uint64_t input_size)
{
  const uint64_t limit = expected + 1;
  uint64_t size = out.empty() ? std::max<uint64_t>(input_size * 8, 256u << 10) : out.size() * 2;
  out.resize(static_cast<std::size_t>(std::min(size, limit)));
}

void decompress_zstd(
  const uint8_t * src, uint64_t size, uint64_t expected, std::vector<uint8_t> & out)
{
  std::unique_ptr<ZSTD_DCtx, decltype(&ZSTD_freeDCtx)> ctx(ZSTD_createDCtx(), &ZSTD_freeDCtx);
  if (!ctx) {
    throw FormatError("out of memory for zstd");
  }
  out.clear();
  grow(out, expected, size);
  ZSTD_inBuffer in{src, static_cast<std::size_t>(size), 0};
  std::size_t produced = 0;
  for (;;) {
    ZSTD_outBuffer ob{out.data(), out.size(), produced};
    const std::size_t r = ZSTD_decompressStream(ctx.get(), &ob, &in);
    if (ZSTD_isError(r)) {
      throw FormatError(std::string("zstd chunk: ") + ZSTD_getErrorName(r));
    }
    produced = ob.pos;
    if (r == 0) {
      break;
    }
    if (produced == out.size()) {
      if (produced > expected) {
        break;
      }
      grow(out, expected, size);
    } else if (in.pos == in.size) {
      throw FormatError("zstd chunk is truncated");
    }
  }
  if (produced != expected) {
    throw FormatError(
      "zstd chunk holds " + std::to_string(produced) + " bytes, not " + std::to_string(expected));
  }
  out.resize(produced);
}

void decompress_lz4(
  const uint8_t * src, uint64_t size, uint64_t expected, std::vector<uint8_t> & out)
{
  LZ4F_dctx * raw = nullptr;
  if (LZ4F_isError(LZ4F_createDecompressionContext(&raw, LZ4F_VERSION))) {
    throw FormatError("out of memory for lz4");
  }
  std::unique_ptr<LZ4F_dctx, decltype(&LZ4F_freeDecompressionContext)> ctx(
    raw, &LZ4F_freeDecompressionContext);
  out.clear();
  grow(out, expected, size);
  uint64_t consumed = 0;
  uint64_t produced = 0;
  for (;;) {
    if (produced == out.size()) {
      if (produced > expected) {
        break;
      }
      grow(out, expected, size);
    }
    std::size_t dst_size = out.size() - produced;
    std::size_t src_size = size - consumed;
    const std::size_t r = LZ4F_decompress(
      ctx.get(), out.data() + produced, &dst_size, src + consumed, &src_size, nullptr);
    if (LZ4F_isError(r)) {
      throw FormatError(std::string("lz4 chunk: ") + LZ4F_getErrorName(r));
    }
    produced += dst_size;
    consumed += src_size;
    if (r == 0) {
      break;
    }
    if (consumed == size && produced < out.size()) {
      throw FormatError("lz4 chunk is truncated");
    }
  }
  if (produced != expected) {
    throw FormatError(
      "lz4 chunk holds " + std::to_string(produced) + " bytes, not " + std::to_string(expected));
  }
  out.resize(produced);
}

void decompress(
  const std::string & compression, const uint8_t * src, uint64_t size, uint64_t expected,
  std::vector<uint8_t> & out)
{
  if (compression == "zstd") {
    decompress_zstd(src, size, expected, out);
  } else if (compression == "lz4") {
    decompress_lz4(src, size, expected, out);
  } else {
    throw FormatError("unsupported chunk compression '" + compression + "'");
  }
}

std::string hex_opcode(uint8_t op)
{
  static const char digits[] = "0123456789abcdef";
  return std::string("0x") + digits[op >> 4] + digits[op & 0xf];
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Reader

McapReader::McapReader(const std::string & path, Order order)
: path_(path)
{
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) {
    fail(std::string("cannot open: ") + std::strerror(errno));
  }
  try {
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
      fail("not a regular file");
    }
    file_size_ = static_cast<uint64_t>(st.st_size);
    try {
      index_file();
    } catch (const FormatError & e) {
      fail(e.what());
    }
  } catch (...) {
    ::close(fd_);
    fd_ = -1;
    throw;
  }
  if (order == Order::log_time) {
    std::stable_sort(
      entries_.begin(), entries_.end(),
      [](const Entry & a, const Entry & b) {return a.log_time < b.log_time;});
  }
}

McapReader::~McapReader()
{
  if (fd_ >= 0) {
    ::close(fd_);
  }
}

void McapReader::fail(const std::string & what) const
{
  throw BagError(path_ + ": " + what);
}

void McapReader::read_at(uint64_t offset, void * out, uint64_t size) const
{
  auto * dst = static_cast<uint8_t *>(out);
  while (size > 0) {
    const ssize_t n = ::pread(fd_, dst, static_cast<std::size_t>(size), static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      fail("read failed at offset " + std::to_string(offset));
    }
    dst += n;
    offset += static_cast<uint64_t>(n);
    size -= static_cast<uint64_t>(n);
  }
}

const uint8_t * McapReader::bytes_at(uint64_t offset, uint64_t size, ByteBuffer & scratch) const
{
  scratch.resize(static_cast<std::size_t>(size));
  read_at(offset, scratch.data(), size);
  return scratch.data();
}

void McapReader::index_file()
{
  const uint64_t header_min = 8 + kPrefix + 8;  // magic + Header with two empty strings
  if (file_size_ < header_min + kFooterRecord + 8) {
    throw FormatError("too short for an MCAP file (" + std::to_string(file_size_) + " bytes)");
  }
  uint8_t magic[8];
  read_at(0, magic, 8);
  if (std::memcmp(magic, kMagic, 8) != 0) {
    throw FormatError("not an MCAP file (no magic at the start)");
  }
  uint8_t tail[kFooterRecord + 8];
  read_at(file_size_ - sizeof(tail), tail, sizeof(tail));
  if (std::memcmp(tail + kFooterRecord, kMagic, 8) != 0) {
    throw FormatError("no MCAP magic at the end (truncated file?)");
  }
  if (tail[0] != kFooter || get_le<uint64_t>(tail + 1) != 20) {
    throw FormatError("no Footer record at the end (truncated file?)");
  }

  // Only the data section is read: it holds every schema, channel and message, and files
  // without index or summary carry nothing else.
  const uint64_t data_limit = file_size_ - sizeof(tail);
  uint32_t crc = crc32_of(0, magic, 8);
  uint64_t pos = 8;
  ByteBuffer content;  // read into without being cleared first
  std::vector<uint8_t> decompressed;
  bool first = true;
  while (pos < data_limit) {
    if (data_limit - pos < kPrefix) {
      throw FormatError("record at offset " + std::to_string(pos) + " is cut off");
    }
    uint8_t prefix[kPrefix];
    read_at(pos, prefix, kPrefix);
    const uint8_t op = prefix[0];
    const uint64_t length = get_le<uint64_t>(prefix + 1);
    if (length > data_limit - pos - kPrefix) {
      throw FormatError(
        "record " + hex_opcode(op) + " at offset " + std::to_string(pos) + " claims " +
        std::to_string(length) + " bytes, past the end of the file");
    }
    const uint8_t * body = bytes_at(pos + kPrefix, length, content);
    if (first && op != kHeader) {
      throw FormatError("the first record is not a Header");
    }
    if (op == kDataEnd) {
      Cursor c(body, length, "Data End");
      const uint32_t expected = c.u32();
      if (expected != 0 && expected != crc) {
        throw FormatError("data section CRC mismatch");
      }
      return;
    }
    crc = crc32_of(crc, prefix, kPrefix);
    if (op != kChunk) {
      crc = crc32_of(crc, body, length);
    }

    switch (op) {
      case kHeader: {
          if (!first) {
            break;
          }
          Cursor c(body, length, "Header");
          profile_ = c.string();
          library_ = c.string();
          break;
        }
      case kSchema:
        on_schema(body, length);
        break;
      case kChannel:
        on_channel(body, length);
        break;
      case kMessage:
        {
          Cursor c(body, length, "Message");
          Entry e{};
          e.channel_id = c.u16();
          e.sequence = c.u32();
          e.log_time = c.u64();
          e.publish_time = c.u64();
          if (channels_.count(e.channel_id) == 0) {
            throw FormatError(
              "message on channel " + std::to_string(e.channel_id) + " before its Channel record");
          }
          e.offset = pos + kPrefix + kMessageHeader;
          e.size = length - kMessageHeader;
          e.chunk = kNoChunk;
          entries_.push_back(e);
        }
        break;
      case kChunk: {
          Cursor c(body, length, "Chunk");
          c.u64();  // message start time
          c.u64();  // message end time
          const uint64_t uncompressed_size = c.u64();
          const uint32_t uncompressed_crc = c.u32();
          ChunkInfo info;
          info.compression = c.string();
          info.compressed_size = c.u64();
          const uint8_t * records = c.take(info.compressed_size);
          const uint64_t head_size = static_cast<uint64_t>(records - body);
          info.records_offset = pos + kPrefix + head_size;
          info.uncompressed_size = uncompressed_size;
          // The data section's CRC takes the chunk's records from their own CRC where they are
          // stored uncompressed: each byte is read once.
          crc = crc32_of(crc, body, head_size);
          uint32_t stored_crc = crc32_of(0, records, info.compressed_size);
          const uint64_t tail_size = length - head_size - info.compressed_size;
          crc = crc32_of(crc32_then(crc, stored_crc, info.compressed_size),
            records + info.compressed_size, tail_size);
          if (info.compression.empty()) {
            if (info.compressed_size != uncompressed_size) {
              throw FormatError("uncompressed chunk with two different sizes");
            }
          } else {
            decompress(info.compression, records, info.compressed_size, uncompressed_size,
              decompressed);
            records = decompressed.data();
            stored_crc = crc32_of(0, records, uncompressed_size);
          }
          if (uncompressed_crc != 0 && stored_crc != uncompressed_crc) {
            throw FormatError("chunk at offset " + std::to_string(pos) + " fails its CRC");
          }
          if (chunks_.size() >= kNoChunk) {
            throw FormatError("too many chunks");
          }
          chunks_.push_back(info);
          index_records(records, uncompressed_size, static_cast<uint32_t>(chunks_.size() - 1), 0);
          break;
        }
      default:
        break;  // indexes, attachments, metadata, records of later versions: not needed here
    }
    first = false;
    pos += kPrefix + length;
  }
  if (first) {
    throw FormatError("no Header record");
  }
}

void McapReader::index_records(const uint8_t * data, uint64_t size, uint32_t chunk, uint64_t base)
{
  uint64_t pos = 0;
  while (pos < size) {
    if (size - pos < kPrefix) {
      throw FormatError("record inside a chunk is cut off");
    }
    const uint8_t op = data[pos];
    const uint64_t length = get_le<uint64_t>(data + pos + 1);
    if (length > size - pos - kPrefix) {
      throw FormatError("record " + hex_opcode(op) + " inside a chunk runs past the chunk");
    }
    const uint8_t * content = data + pos + kPrefix;
    if (op == kSchema) {
      on_schema(content, length);
    } else if (op == kChannel) {
      on_channel(content, length);
    } else if (op == kMessage) {
      Cursor c(content, length, "Message");
      Entry e{};
      e.channel_id = c.u16();
      e.sequence = c.u32();
      e.log_time = c.u64();
      e.publish_time = c.u64();
      if (channels_.count(e.channel_id) == 0) {
        throw FormatError(
          "message on channel " + std::to_string(e.channel_id) + " before its Channel record");
      }
      e.offset = base + pos + kPrefix + kMessageHeader;
      e.size = length - kMessageHeader;
      e.chunk = chunk;
      entries_.push_back(e);
    }
    pos += kPrefix + length;
  }
}

void McapReader::on_schema(const uint8_t * data, uint64_t size)
{
  Cursor c(data, size, "Schema");
  McapSchema schema;
  schema.id = c.u16();
  schema.name = c.string();
  schema.encoding = c.string();
  const uint32_t n = c.u32();
  const uint8_t * bytes = c.take(n);
  schema.data.assign(bytes, bytes + n);
  if (schema.id == 0) {
    throw FormatError("Schema record with id 0");
  }
  schemas_.emplace(schema.id, std::move(schema));  // a repeated schema keeps its first record
}

void McapReader::on_channel(const uint8_t * data, uint64_t size)
{
  Cursor c(data, size, "Channel");
  McapChannel channel;
  channel.id = c.u16();
  channel.schema_id = c.u16();
  channel.topic = c.string();
  channel.message_encoding = c.string();
  channel.metadata = c.string_map();
  if (channel.schema_id != 0 && schemas_.count(channel.schema_id) == 0) {
    throw FormatError(
      "channel '" + channel.topic + "' refers to schema " + std::to_string(channel.schema_id) +
      " before its Schema record");
  }
  channels_.emplace(channel.id, std::move(channel));
}

std::map<uint16_t, uint64_t> McapReader::channel_message_counts() const
{
  std::map<uint16_t, uint64_t> counts;
  for (const auto & c : channels_) {
    counts[c.first] = 0;
  }
  for (const Entry & e : entries_) {
    ++counts[e.channel_id];
  }
  return counts;
}

uint64_t McapReader::message_start_time() const
{
  uint64_t t = entries_.empty() ? 0 : entries_.front().log_time;
  for (const Entry & e : entries_) {
    t = std::min(t, e.log_time);
  }
  return t;
}

uint64_t McapReader::message_end_time() const
{
  uint64_t t = 0;
  for (const Entry & e : entries_) {
    t = std::max(t, e.log_time);
  }
  return t;
}

const McapChannel & McapReader::channel(uint16_t channel_id) const
{
  auto it = channels_.find(channel_id);
  if (it == channels_.end()) {
    fail("no channel " + std::to_string(channel_id));
  }
  return it->second;
}

std::string McapReader::schema_name(uint16_t channel_id) const
{
  auto it = schemas_.find(channel(channel_id).schema_id);
  return it == schemas_.end() ? std::string() : it->second.name;
}

const std::vector<uint8_t> & McapReader::chunk_records(uint32_t chunk)
{
  if (cached_chunk_ != chunk) {
    const ChunkInfo & info = chunks_[chunk];
    ByteBuffer scratch;
    const uint8_t * compressed = bytes_at(info.records_offset, info.compressed_size, scratch);
    cached_chunk_ = kNoChunk;
    try {
      decompress(info.compression, compressed, info.compressed_size, info.uncompressed_size,
        cached_records_);
    } catch (const FormatError & e) {
      fail(e.what());
    }
    cached_chunk_ = chunk;
  }
  return cached_records_;
}

bool McapReader::read_next(McapMessage & msg)
{
  if (next_ >= entries_.size()) {
    return false;
  }
  const Entry & e = entries_[next_];
  msg.channel_id = e.channel_id;
  msg.sequence = e.sequence;
  msg.log_time = e.log_time;
  msg.publish_time = e.publish_time;
  if (e.chunk != kNoChunk && !chunks_[e.chunk].compression.empty()) {
    const uint8_t * from = chunk_records(e.chunk).data() + e.offset;
    msg.data.assign(from, from + e.size);
  } else {
    msg.data.resize(static_cast<std::size_t>(e.size));
    const uint64_t offset =
      e.chunk == kNoChunk ? e.offset : chunks_[e.chunk].records_offset + e.offset;
    read_at(offset, msg.data.data(), e.size);
  }
  ++next_;
  return true;
}

// ---------------------------------------------------------------------------------------------
// Writer

namespace
{

template<typename Buffer>
std::size_t begin_record(Buffer & b, uint8_t op)
{
  b.push_back(op);
  put_le<uint64_t>(b, 0);
  return b.size();
}

template<typename Buffer>
void end_record(Buffer & b, std::size_t content_start)
{
  const uint64_t length = b.size() - content_start;
  std::memcpy(b.data() + content_start - 8, &length, 8);  // little-endian host checked in byte_io
}

void put_string(std::vector<uint8_t> & b, const std::string & s)
{
  put_le<uint32_t>(b, static_cast<uint32_t>(s.size()));
  b.insert(b.end(), s.begin(), s.end());
}

void put_string_map(std::vector<uint8_t> & b, const std::map<std::string, std::string> & m)
{
  std::vector<uint8_t> body;
  for (const auto & kv : m) {
    put_string(body, kv.first);
    put_string(body, kv.second);
  }
  put_le<uint32_t>(b, static_cast<uint32_t>(body.size()));
  b.insert(b.end(), body.begin(), body.end());
}

void put_id_map(std::vector<uint8_t> & b, const std::map<uint16_t, uint64_t> & m)
{
  put_le<uint32_t>(b, static_cast<uint32_t>(m.size() * 10));
  for (const auto & kv : m) {
    put_le<uint16_t>(b, kv.first);
    put_le<uint64_t>(b, kv.second);
  }
}

}  // namespace

McapWriter::McapWriter(const std::string & path, const McapWriterOptions & options)
: path_(path), options_(options)
{
  const std::string & c = options_.compression;
  if (!c.empty() && c != "zstd" && c != "lz4") {
    fail("unknown chunk compression '" + c + "'");
  }
  file_ = std::fopen(path.c_str(), "wb");
  if (file_ == nullptr) {
    fail(std::string("cannot create: ") + std::strerror(errno));
  }
  std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
  emit(std::vector<uint8_t>(kMagic, kMagic + 8));
  std::vector<uint8_t> header;
  const std::size_t start = begin_record(header, kHeader);
  put_string(header, options_.profile);
  put_string(header, options_.library);
  end_record(header, start);
  emit(header);
}

McapWriter::~McapWriter()
{
  if (!closed_) {
    try {
      close();
    } catch (const BagError &) {
    }
  }
  if (file_ != nullptr) {
    std::fclose(file_);
  }
}

void McapWriter::fail(const std::string & what) const
{
  throw BagError(path_ + ": " + what);
}

template<typename Alloc>
void McapWriter::emit(const std::vector<uint8_t, Alloc> & bytes)
{
  if (bytes.empty()) {
    return;
  }
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
    fail(std::string("write failed: ") + std::strerror(errno));
  }
  data_crc_ = crc32_of(data_crc_, bytes.data(), bytes.size());
  position_ += bytes.size();
}

void McapWriter::emit(const ByteBuffer & bytes, uint32_t crc)
{
  if (bytes.empty()) {
    return;
  }
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
    fail(std::string("write failed: ") + std::strerror(errno));
  }
  data_crc_ = crc32_then(data_crc_, crc, bytes.size());
  position_ += bytes.size();
}

void McapWriter::emit_record(std::vector<uint8_t> & record)
{
  if (options_.chunk_size > 0) {
    chunk_.insert(chunk_.end(), record.begin(), record.end());
  } else {
    emit(record);
  }
}

uint16_t McapWriter::add_schema(
  const std::string & name, const std::string & encoding, const std::string & data)
{
  if (closed_) {
    fail("add_schema after close");
  }
  if (schema_records_.size() >= 0xffff) {
    fail("too many schemas");
  }
  const auto id = static_cast<uint16_t>(schema_records_.size() + 1);
  std::vector<uint8_t> record;
  const std::size_t start = begin_record(record, kSchema);
  put_le<uint16_t>(record, id);
  put_string(record, name);
  put_string(record, encoding);
  put_string(record, data);
  end_record(record, start);
  emit_record(record);
  schema_records_.push_back(std::move(record));
  return id;
}

uint16_t McapWriter::add_channel(
  uint16_t schema_id, const std::string & topic, const std::string & message_encoding,
  const std::map<std::string, std::string> & metadata)
{
  if (closed_) {
    fail("add_channel after close");
  }
  if (schema_id > schema_records_.size()) {
    fail("channel '" + topic + "' refers to unknown schema " + std::to_string(schema_id));
  }
  if (channel_records_.size() >= 0xffff) {
    fail("too many channels");
  }
  const auto id = static_cast<uint16_t>(channel_records_.size() + 1);
  std::vector<uint8_t> record;
  const std::size_t start = begin_record(record, kChannel);
  put_le<uint16_t>(record, id);
  put_le<uint16_t>(record, schema_id);
  put_string(record, topic);
  put_string(record, message_encoding);
  put_string_map(record, metadata);
  end_record(record, start);
  emit_record(record);
  channel_records_.push_back(std::move(record));
  channel_schema_[id] = schema_id;
  return id;
}

void McapWriter::add_metadata(
  const std::string & name, const std::map<std::string, std::string> & metadata)
{
  if (closed_) {
    fail("add_metadata after close");
  }
  // Metadata may not live inside a chunk; the open chunk simply follows it in the file.
  std::vector<uint8_t> record;
  const std::size_t start = begin_record(record, kMetadata);
  put_string(record, name);
  put_string_map(record, metadata);
  end_record(record, start);
  metadata_index_.push_back({position_, record.size(), name});
  emit(record);
}

void McapWriter::write(
  uint16_t channel_id, uint32_t sequence, uint64_t log_time, uint64_t publish_time,
  const uint8_t * data, std::size_t size)
{
  write(channel_id, sequence, log_time, publish_time, size, [data, size](uint8_t * out) {
      if (size > 0) {
        std::memcpy(out, data, size);
      }
    });
}

void McapWriter::write(
  uint16_t channel_id, uint32_t sequence, uint64_t log_time, uint64_t publish_time,
  std::size_t size, const std::function<void(uint8_t * out)> & encode)
{
  if (closed_) {
    fail("write after close");
  }
  if (channel_schema_.count(channel_id) == 0) {
    fail("write on unknown channel " + std::to_string(channel_id));
  }
  ByteBuffer & out = options_.chunk_size > 0 ? chunk_ : scratch_;
  if (options_.chunk_size == 0) {
    scratch_.clear();
  }
  if (out.capacity() < out.size() + kPrefix + kMessageHeader + size) {
    // Room for the chunk as it will be when flushed, so that it does not move again.
    const std::size_t needed = out.size() + kPrefix + kMessageHeader + size;
    out.reserve(std::max<std::size_t>(needed + needed / 2, options_.chunk_size + (1u << 20)));
  }
  const uint64_t offset = out.size();
  const std::size_t start = begin_record(out, kMessage);
  put_le<uint16_t>(out, channel_id);
  put_le<uint32_t>(out, sequence);
  put_le<uint64_t>(out, log_time);
  put_le<uint64_t>(out, publish_time);
  const std::size_t data_start = out.size();
  out.resize(data_start + size);  // not cleared: encode writes every byte
  encode(out.data() + data_start);
  end_record(out, start);

  if (message_count_ == 0) {
    start_time_ = end_time_ = log_time;
  }
  start_time_ = std::min(start_time_, log_time);
  end_time_ = std::max(end_time_, log_time);
  ++message_count_;
  ++channel_counts_[channel_id];

  if (options_.chunk_size == 0) {
    emit(scratch_);
    return;
  }
  if (!chunk_has_messages_) {
    chunk_start_ = chunk_end_ = log_time;
    chunk_has_messages_ = true;
  }
  chunk_start_ = std::min(chunk_start_, log_time);
  chunk_end_ = std::max(chunk_end_, log_time);
  chunk_message_index_[channel_id].emplace_back(log_time, offset);
  if (chunk_.size() >= options_.chunk_size) {
    flush_chunk();
  }
}

void McapWriter::flush_chunk()
{
  if (chunk_.empty()) {
    return;
  }
  const uint64_t uncompressed_size = chunk_.size();
  const uint32_t uncompressed_crc = crc32_of(0, chunk_.data(), uncompressed_size);
  std::vector<uint8_t> compressed;
  if (options_.compression == "zstd") {
    compressed.resize(ZSTD_compressBound(chunk_.size()));
    const std::size_t n = ZSTD_compress(
      compressed.data(), compressed.size(), chunk_.data(), chunk_.size(), 1);
    if (ZSTD_isError(n)) {
      fail(std::string("zstd: ") + ZSTD_getErrorName(n));
    }
    compressed.resize(n);
  } else if (options_.compression == "lz4") {
    LZ4F_preferences_t prefs;
    std::memset(&prefs, 0, sizeof(prefs));
    prefs.frameInfo.contentSize = chunk_.size();
    compressed.resize(LZ4F_compressFrameBound(chunk_.size(), &prefs));
    const std::size_t n = LZ4F_compressFrame(
      compressed.data(), compressed.size(), chunk_.data(), chunk_.size(), &prefs);
    if (LZ4F_isError(n)) {
      fail(std::string("lz4: ") + LZ4F_getErrorName(n));
    }
    compressed.resize(n);
  }
  const uint64_t payload_size = options_.compression.empty() ? chunk_.size() : compressed.size();

  IndexedChunk index{};
  index.start_time = chunk_has_messages_ ? chunk_start_ : 0;
  index.end_time = chunk_has_messages_ ? chunk_end_ : 0;
  index.offset = position_;
  index.compressed_size = payload_size;
  index.uncompressed_size = uncompressed_size;

  std::vector<uint8_t> head;
  const std::size_t start = begin_record(head, kChunk);
  put_le<uint64_t>(head, index.start_time);
  put_le<uint64_t>(head, index.end_time);
  put_le<uint64_t>(head, uncompressed_size);
  put_le<uint32_t>(head, uncompressed_crc);
  put_string(head, options_.compression);
  put_le<uint64_t>(head, payload_size);
  end_record(head, start);
  const uint64_t content_length = head.size() - start + payload_size;
  std::memcpy(head.data() + 1, &content_length, 8);
  emit(head);
  if (options_.compression.empty()) {
    emit(chunk_, uncompressed_crc);  // the chunk's CRC is already the CRC of these bytes
  } else {
    emit(compressed);
  }
  index.length = kPrefix + content_length;

  const uint64_t index_start = position_;
  for (auto & channel : chunk_message_index_) {
    auto & entries = channel.second;
    std::stable_sort(
      entries.begin(), entries.end(),
      [](const auto & a, const auto & b) {return a.first < b.first;});
    std::vector<uint8_t> record;
    const std::size_t rs = begin_record(record, kMessageIndex);
    put_le<uint16_t>(record, channel.first);
    put_le<uint32_t>(record, static_cast<uint32_t>(entries.size() * 16));
    for (const auto & e : entries) {
      put_le<uint64_t>(record, e.first);
      put_le<uint64_t>(record, e.second);
    }
    end_record(record, rs);
    index.index_offsets[channel.first] = position_;
    emit(record);
  }
  index.index_length = position_ - index_start;
  chunk_index_.push_back(std::move(index));

  chunk_.clear();
  chunk_message_index_.clear();
  chunk_has_messages_ = false;
}

void McapWriter::close()
{
  if (closed_) {
    return;
  }
  closed_ = true;
  flush_chunk();

  std::vector<uint8_t> data_end;
  std::size_t start = begin_record(data_end, kDataEnd);
  put_le<uint32_t>(data_end, data_crc_);
  end_record(data_end, start);
  emit(data_end);

  const uint64_t summary_start = position_;
  std::vector<uint8_t> summary;
  std::vector<uint8_t> offsets;
  auto group = [&](uint8_t op, const std::vector<uint8_t> & records) {
      if (records.empty()) {
        return;
      }
      const std::size_t os = begin_record(offsets, kSummaryOffset);
      offsets.push_back(op);
      put_le<uint64_t>(offsets, summary_start + summary.size());
      put_le<uint64_t>(offsets, records.size());
      end_record(offsets, os);
      summary.insert(summary.end(), records.begin(), records.end());
    };

  std::vector<uint8_t> records;
  for (const auto & r : schema_records_) {
    records.insert(records.end(), r.begin(), r.end());
  }
  group(kSchema, records);
  records.clear();
  for (const auto & r : channel_records_) {
    records.insert(records.end(), r.begin(), r.end());
  }
  group(kChannel, records);

  records.clear();
  start = begin_record(records, kStatistics);
  put_le<uint64_t>(records, message_count_);
  put_le<uint16_t>(records, static_cast<uint16_t>(schema_records_.size()));
  put_le<uint32_t>(records, static_cast<uint32_t>(channel_records_.size()));
  put_le<uint32_t>(records, 0);  // attachments
  put_le<uint32_t>(records, static_cast<uint32_t>(metadata_index_.size()));
  put_le<uint32_t>(records, static_cast<uint32_t>(chunk_index_.size()));
  put_le<uint64_t>(records, message_count_ > 0 ? start_time_ : 0);
  put_le<uint64_t>(records, message_count_ > 0 ? end_time_ : 0);
  put_id_map(records, channel_counts_);
  end_record(records, start);
  group(kStatistics, records);

  records.clear();
  for (const auto & m : metadata_index_) {
    start = begin_record(records, kMetadataIndex);
    put_le<uint64_t>(records, m.offset);
    put_le<uint64_t>(records, m.length);
    put_string(records, m.name);
    end_record(records, start);
  }
  group(kMetadataIndex, records);

  records.clear();
  for (const auto & c : chunk_index_) {
    start = begin_record(records, kChunkIndex);
    put_le<uint64_t>(records, c.start_time);
    put_le<uint64_t>(records, c.end_time);
    put_le<uint64_t>(records, c.offset);
    put_le<uint64_t>(records, c.length);
    put_id_map(records, c.index_offsets);
    put_le<uint64_t>(records, c.index_length);
    put_string(records, options_.compression);
    put_le<uint64_t>(records, c.compressed_size);
    put_le<uint64_t>(records, c.uncompressed_size);
    end_record(records, start);
  }
  group(kChunkIndex, records);

  const uint64_t summary_offset_start = summary_start + summary.size();
  summary.insert(summary.end(), offsets.begin(), offsets.end());

  // The summary CRC covers the summary, the summary offsets and the Footer up to its CRC field.
  std::vector<uint8_t> footer;
  footer.push_back(kFooter);
  put_le<uint64_t>(footer, 20);
  put_le<uint64_t>(footer, summary_start);
  put_le<uint64_t>(footer, summary_offset_start);
  uint32_t crc = crc32_of(0, summary.data(), summary.size());
  crc = crc32_of(crc, footer.data(), footer.size());
  put_le<uint32_t>(footer, crc);

  emit(summary);
  emit(footer);
  emit(std::vector<uint8_t>(kMagic, kMagic + 8));
  std::FILE * f = file_;
  file_ = nullptr;
  if (std::fclose(f) != 0) {
    fail(std::string("close failed: ") + std::strerror(errno));
  }
}

}  // namespace bag
}  // namespace sweepmend
