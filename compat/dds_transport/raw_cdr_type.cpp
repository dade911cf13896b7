// The serdata holds the payload bytes exactly as they go on the wire; encoding and decoding
// happen outside Cyclone, in the project's CDR codecs. Only the entry points Cyclone calls for a
// keyless type that is written with dds_writecdr() and read with dds_takecdr() do real work; the
// sample-based ones exchange a std::vector<uint8_t> so that dds_write()/dds_take() work too.
#include "dds_transport/raw_cdr_type.hpp"

#include <dds/dds.h>
#include <dds/ddsi/ddsi_serdata.h>
#include <dds/ddsi/ddsi_sertype.h>
#include <dds/ddsi/q_radmin.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace sweepmend
{
namespace dds_transport
{
namespace
{

struct RawSerdata
{
  ddsi_serdata c;  // first member: Cyclone sees only this part
  std::vector<uint8_t> bytes;  // zero-padded to a multiple of 4
  uint32_t size{0};  // serialised size as announced, header included
};

RawSerdata * as_raw(const ddsi_serdata * d)
{
  return reinterpret_cast<RawSerdata *>(const_cast<ddsi_serdata *>(d));
}

RawSerdata * new_serdata(const ddsi_sertype * type, ddsi_serdata_kind kind)
{
  auto * d = new RawSerdata();
  ddsi_serdata_init(&d->c, type, kind);
  return d;
}

void set_bytes(RawSerdata * d, std::vector<uint8_t> bytes)
{
  d->size = static_cast<uint32_t>(bytes.size());
  bytes.resize((bytes.size() + 3) & ~static_cast<size_t>(3), 0);
  d->bytes = std::move(bytes);
}

// ---- serdata ----

bool serdata_eqkey(const ddsi_serdata *, const ddsi_serdata *) {return true;}

uint32_t serdata_size(const ddsi_serdata * d) {return as_raw(d)->size;}

void serdata_free(ddsi_serdata * d) {delete as_raw(d);}

ddsi_serdata * serdata_from_ser(
  const ddsi_sertype * type, ddsi_serdata_kind kind, const nn_rdata * fragchain, size_t size)
{
  auto * d = new_serdata(type, kind);
  std::vector<uint8_t> bytes(size);
  // Fragments arrive in order and may overlap; copy only what each one adds.
  uint32_t off = 0;
  while (fragchain != nullptr) {
    if (fragchain->maxp1 > off) {
      const unsigned char * payload =
        NN_RMSG_PAYLOADOFF(fragchain->rmsg, NN_RDATA_PAYLOAD_OFF(fragchain));
      const uint32_t end = std::min<uint32_t>(fragchain->maxp1, static_cast<uint32_t>(size));
      if (end > off) {
        std::memcpy(bytes.data() + off, payload + (off - fragchain->min), end - off);
        off = end;
      }
    }
    fragchain = fragchain->nextfrag;
  }
  set_bytes(d, std::move(bytes));
  return &d->c;
}

ddsi_serdata * serdata_from_ser_iov(
  const ddsi_sertype * type, ddsi_serdata_kind kind, ddsrt_msg_iovlen_t niov,
  const ddsrt_iovec_t * iov, size_t size)
{
  auto * d = new_serdata(type, kind);
  std::vector<uint8_t> bytes;
  bytes.reserve(size);
  for (ddsrt_msg_iovlen_t i = 0; i < niov && bytes.size() < size; ++i) {
    const auto * p = static_cast<const uint8_t *>(iov[i].iov_base);
    const size_t n = std::min<size_t>(iov[i].iov_len, size - bytes.size());
    bytes.insert(bytes.end(), p, p + n);
  }
  bytes.resize(size, 0);
  set_bytes(d, std::move(bytes));
  return &d->c;
}

ddsi_serdata * serdata_from_keyhash(const ddsi_sertype * type, const ddsi_keyhash *)
{
  // Keyless: every key is the same, empty one.
  return &new_serdata(type, SDK_KEY)->c;
}

ddsi_serdata * serdata_from_sample(
  const ddsi_sertype * type, ddsi_serdata_kind kind, const void * sample)
{
  auto * d = new_serdata(type, kind);
  if (kind == SDK_DATA) {
    set_bytes(d, *static_cast<const std::vector<uint8_t> *>(sample));
  }
  return &d->c;
}

void serdata_to_ser(const ddsi_serdata * d, size_t off, size_t sz, void * buf)
{
  const auto * raw = as_raw(d);
  const size_t available = off < raw->bytes.size() ? raw->bytes.size() - off : 0;
  const size_t n = std::min(sz, available);
  if (n > 0) {
    std::memcpy(buf, raw->bytes.data() + off, n);
  }
  if (n < sz) {
    std::memset(static_cast<uint8_t *>(buf) + n, 0, sz - n);
  }
}

ddsi_serdata * serdata_to_ser_ref(const ddsi_serdata * d, size_t off, size_t sz, ddsrt_iovec_t * ref)
{
  auto * raw = as_raw(d);
  ref->iov_base = raw->bytes.data() + off;
  ref->iov_len = static_cast<ddsrt_iov_len_t>(sz);
  return ddsi_serdata_ref(d);
}

void serdata_to_ser_unref(ddsi_serdata * d, const ddsrt_iovec_t *) {ddsi_serdata_unref(d);}

bool serdata_to_sample(const ddsi_serdata * d, void * sample, void **, void *)
{
  const auto * raw = as_raw(d);
  auto * out = static_cast<std::vector<uint8_t> *>(sample);
  out->assign(raw->bytes.begin(), raw->bytes.begin() + raw->size);
  return true;
}

ddsi_serdata * serdata_to_untyped(const ddsi_serdata * d)
{
  auto * key = new_serdata(d->type, SDK_KEY);
  key->c.type = nullptr;
  return &key->c;
}

bool serdata_untyped_to_sample(
  const ddsi_sertype *, const ddsi_serdata *, void * sample, void **, void *)
{
  static_cast<std::vector<uint8_t> *>(sample)->clear();
  return true;
}

size_t serdata_print(const ddsi_sertype *, const ddsi_serdata * d, char * buf, size_t size)
{
  return static_cast<size_t>(std::snprintf(buf, size, "(%u bytes of CDR)", as_raw(d)->size));
}

void serdata_get_keyhash(const ddsi_serdata *, ddsi_keyhash * buf, bool)
{
  std::memset(buf, 0, sizeof(*buf));
}

const ddsi_serdata_ops kSerdataOps = [] {
    ddsi_serdata_ops ops{};
    ops.eqkey = serdata_eqkey;
    ops.get_size = serdata_size;
    ops.from_ser = serdata_from_ser;
    ops.from_ser_iov = serdata_from_ser_iov;
    ops.from_keyhash = serdata_from_keyhash;
    ops.from_sample = serdata_from_sample;
    ops.to_ser = serdata_to_ser;
    ops.to_ser_ref = serdata_to_ser_ref;
    ops.to_ser_unref = serdata_to_ser_unref;
    ops.to_sample = serdata_to_sample;
    ops.to_untyped = serdata_to_untyped;
    ops.untyped_to_sample = serdata_untyped_to_sample;
    ops.free = serdata_free;
    ops.print = serdata_print;
    ops.get_keyhash = serdata_get_keyhash;
    return ops;
  }();

// ---- sertype ----

void sertype_free(ddsi_sertype * type)
{
  ddsi_sertype_fini(type);
  delete type;
}

void sertype_zero_samples(const ddsi_sertype *, void * samples, size_t count)
{
  auto * v = static_cast<std::vector<uint8_t> *>(samples);
  for (size_t i = 0; i < count; ++i) {
    v[i].clear();
  }
}

void sertype_realloc_samples(void ** ptrs, const ddsi_sertype *, void *, size_t, size_t count)
{
  // Only reached by dds_read()/dds_take() with a loan, which this transport never asks for.
  for (size_t i = 0; i < count; ++i) {
    ptrs[i] = nullptr;
  }
}

void sertype_free_samples(const ddsi_sertype *, void ** ptrs, size_t count, dds_free_op_t op)
{
  for (size_t i = 0; i < count; ++i) {
    auto * v = static_cast<std::vector<uint8_t> *>(ptrs[i]);
    if (v == nullptr) {
      continue;
    }
    if (op & DDS_FREE_ALL_BIT) {
      delete v;
    } else if (op & DDS_FREE_CONTENTS_BIT) {
      std::vector<uint8_t>().swap(*v);
    }
  }
}

bool sertype_equal(const ddsi_sertype *, const ddsi_sertype *) {return true;}

uint32_t sertype_hash(const ddsi_sertype *) {return 0;}

const ddsi_sertype_ops kSertypeOps = [] {
    ddsi_sertype_ops ops{};
    ops.version = ddsi_sertype_v0;
    ops.free = sertype_free;
    ops.zero_samples = sertype_zero_samples;
    ops.realloc_samples = sertype_realloc_samples;
    ops.free_samples = sertype_free_samples;
    ops.equal = sertype_equal;
    ops.hash = sertype_hash;
    // type_id, type_map, type_info, derive_sertype stay empty: Humble's middleware offers no
    // type information either, so matching falls back to comparing type names.
    return ops;
  }();

}  // namespace

ddsi_sertype * make_raw_cdr_type(const std::string & dds_type_name)
{
  auto * type = new ddsi_sertype();
  ddsi_sertype_init_flags(
    type, dds_type_name.c_str(), &kSertypeOps, &kSerdataOps, DDSI_SERTYPE_FLAG_TOPICKIND_NO_KEY);
  type->allowed_data_representation = DDS_DATA_REPRESENTATION_FLAG_XCDR1;
  return type;
}

ddsi_serdata * make_raw_cdr_sample(const ddsi_sertype * type, std::vector<uint8_t> payload)
{
  auto * d = new_serdata(type, SDK_DATA);
  set_bytes(d, std::move(payload));
  return &d->c;
}

const uint8_t * raw_cdr_data(const ddsi_serdata * sample) {return as_raw(sample)->bytes.data();}

std::size_t raw_cdr_size(const ddsi_serdata * sample) {return as_raw(sample)->size;}

void release_raw_cdr_sample(ddsi_serdata * sample) {ddsi_serdata_unref(sample);}

}  // namespace dds_transport
}  // namespace sweepmend
