// Little-endian field access with bounds checks, shared by the storage readers and writers.
#ifndef STORAGE__BYTE_IO_HPP_
#define STORAGE__BYTE_IO_HPP_

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace sweepmend
{
namespace bag
{

static_assert(
  __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
  "the storage formats are little-endian and are copied as such");

/// A malformed record; the reader turns it into a BagError naming the file.
class FormatError : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};

template<typename T>
T get_le(const uint8_t * p)
{
  static_assert(std::is_integral<T>::value, "integers only");
  T value;
  std::memcpy(&value, p, sizeof(T));
  return value;
}

/// An allocator whose value-less construct leaves a byte as it is: a buffer grown only to be
/// written over is not zero-filled first.
template<typename T>
struct DefaultInitAllocator : std::allocator<T>
{
  template<typename U>
  struct rebind
  {
    using other = DefaultInitAllocator<U>;
  };
  DefaultInitAllocator() = default;
  template<typename U>
  DefaultInitAllocator(const DefaultInitAllocator<U> &) noexcept {}
  template<typename U>
  void construct(U * p) noexcept(std::is_nothrow_default_constructible<U>::value)
  {
    ::new (static_cast<void *>(p)) U;
  }
  template<typename U, typename ... Args>
  void construct(U * p, Args && ... args)
  {
    ::new (static_cast<void *>(p)) U(std::forward<Args>(args)...);
  }
};

/// Bytes of records being assembled; resize() leaves the new bytes unset.
using ByteBuffer = std::vector<uint8_t, DefaultInitAllocator<uint8_t>>;

template<typename T, typename Alloc>
void put_le(std::vector<uint8_t, Alloc> & out, T value)
{
  static_assert(std::is_integral<T>::value, "integers only");
  const auto * p = reinterpret_cast<const uint8_t *>(&value);
  out.insert(out.end(), p, p + sizeof(T));
}

/// Reads the fields of one record; every read is checked against the record's length.
class Cursor
{
public:
  Cursor(const uint8_t * data, uint64_t size, const char * record)
  : data_(data), size_(size), record_(record) {}

  uint16_t u16() {return get_le<uint16_t>(take(2));}
  uint32_t u32() {return get_le<uint32_t>(take(4));}
  uint64_t u64() {return get_le<uint64_t>(take(8));}

  const uint8_t * take(uint64_t n)
  {
    if (n > size_ - pos_) {
      throw FormatError(std::string(record_) + " record is shorter than its fields");
    }
    const uint8_t * p = data_ + pos_;
    pos_ += n;
    return p;
  }

  std::string string()
  {
    const uint32_t n = u32();
    const uint8_t * p = take(n);
    return std::string(reinterpret_cast<const char *>(p), n);
  }

  std::map<std::string, std::string> string_map()
  {
    const uint32_t n = u32();
    Cursor inner(take(n), n, record_);
    std::map<std::string, std::string> out;
    while (inner.remaining() > 0) {
      std::string key = inner.string();
      out[key] = inner.string();
    }
    return out;
  }

  uint64_t remaining() const {return size_ - pos_;}

private:
  const uint8_t * data_;
  uint64_t size_;
  uint64_t pos_{0};
  const char * record_;
};

}  // namespace bag
}  // namespace sweepmend

#endif  // STORAGE__BYTE_IO_HPP_
