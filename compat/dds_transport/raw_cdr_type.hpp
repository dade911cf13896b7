// A Cyclone DDS type that carries ready-made CDR payloads, as ROS 2 Humble's Cyclone middleware
// registers its types: keyless, XCDR1 only, no XTypes type information.
#ifndef DDS_TRANSPORT__RAW_CDR_TYPE_HPP_
#define DDS_TRANSPORT__RAW_CDR_TYPE_HPP_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ddsi_sertype;
struct ddsi_serdata;

namespace sweepmend
{
namespace dds_transport
{

/// A new sertype named `dds_type_name` (e.g. "sensor_msgs::msg::dds_::Imu_"), holding one
/// reference that dds_create_topic_sertype() takes over.
ddsi_sertype * make_raw_cdr_type(const std::string & dds_type_name);

/// A sample of `type` holding `payload` (encapsulation header included, length a multiple of 4),
/// with one reference that dds_writecdr() takes over.
ddsi_serdata * make_raw_cdr_sample(const ddsi_sertype * type, std::vector<uint8_t> payload);

/// The payload of a sample of a raw CDR type, as written or as received (header included).
const uint8_t * raw_cdr_data(const ddsi_serdata * sample);
std::size_t raw_cdr_size(const ddsi_serdata * sample);

/// Drops one reference to a sample (for samples taken with dds_takecdr()).
void release_raw_cdr_sample(ddsi_serdata * sample);

}  // namespace dds_transport
}  // namespace sweepmend

#endif  // DDS_TRANSPORT__RAW_CDR_TYPE_HPP_
