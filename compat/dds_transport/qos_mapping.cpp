#include "dds_transport/qos_mapping.hpp"

#include <cstdint>
#include <limits>

namespace sweepmend
{
namespace dds_transport
{

namespace
{
bool unspecified(const rmw_time_t & t) {return t.sec == 0 && t.nsec == 0;}
}  // namespace

dds_duration_t to_dds_duration(const rmw_time_t & time)
{
  if (unspecified(time)) {
    return DDS_INFINITY;
  }
  constexpr uint64_t kMaxSeconds =
    static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) / 1000000000u;
  if (time.sec >= kMaxSeconds) {
    return DDS_INFINITY;
  }
  const uint64_t ns = time.sec * 1000000000u + time.nsec;
  return ns >= static_cast<uint64_t>(DDS_INFINITY) ? DDS_INFINITY : static_cast<dds_duration_t>(ns);
}

dds_qos_t * make_endpoint_qos(const rmw_qos_profile_t & profile)
{
  dds_qos_t * qos = dds_create_qos();

  dds_history_kind_t history_kind = DDS_HISTORY_KEEP_LAST;
  int32_t depth = 1;
  if (profile.history == RMW_QOS_POLICY_HISTORY_KEEP_ALL) {
    history_kind = DDS_HISTORY_KEEP_ALL;
    depth = DDS_LENGTH_UNLIMITED;
  } else if (profile.depth > 0) {
    depth = profile.depth > static_cast<size_t>(std::numeric_limits<int32_t>::max()) ?
      std::numeric_limits<int32_t>::max() : static_cast<int32_t>(profile.depth);
  }
  dds_qset_history(qos, history_kind, depth);

  if (profile.reliability == RMW_QOS_POLICY_RELIABILITY_BEST_EFFORT) {
    dds_qset_reliability(qos, DDS_RELIABILITY_BEST_EFFORT, 0);
  } else {
    dds_qset_reliability(qos, DDS_RELIABILITY_RELIABLE, DDS_INFINITY);
  }

  if (profile.durability == RMW_QOS_POLICY_DURABILITY_TRANSIENT_LOCAL) {
    dds_qset_durability(qos, DDS_DURABILITY_TRANSIENT_LOCAL);
    // Cyclone serves late joiners from durability_service, whose own default keeps only 1.
    dds_qset_durability_service(
      qos, 0, history_kind, depth, DDS_LENGTH_UNLIMITED, DDS_LENGTH_UNLIMITED,
      DDS_LENGTH_UNLIMITED);
  } else {
    dds_qset_durability(qos, DDS_DURABILITY_VOLATILE);
  }

  if (!unspecified(profile.deadline)) {
    dds_qset_deadline(qos, to_dds_duration(profile.deadline));
  }
  if (!unspecified(profile.lifespan)) {
    dds_qset_lifespan(qos, to_dds_duration(profile.lifespan));
  }
  const dds_duration_t lease = to_dds_duration(profile.liveliness_lease_duration);
  if (profile.liveliness == RMW_QOS_POLICY_LIVELINESS_MANUAL_BY_TOPIC) {
    dds_qset_liveliness(qos, DDS_LIVELINESS_MANUAL_BY_TOPIC, lease);
  } else {
    dds_qset_liveliness(qos, DDS_LIVELINESS_AUTOMATIC, lease);
  }

  dds_qset_writer_data_lifecycle(qos, false);
  return qos;
}

}  // namespace dds_transport
}  // namespace sweepmend
