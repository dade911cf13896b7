// ROS QoS profiles as Humble's Cyclone middleware turns them into DDS QoS.
#ifndef DDS_TRANSPORT__QOS_MAPPING_HPP_
#define DDS_TRANSPORT__QOS_MAPPING_HPP_

#include <dds/dds.h>

#include "rmw/types.h"

namespace sweepmend
{
namespace dds_transport
{

/// A new dds_qos_t (free with dds_delete_qos) for a reader or writer with `profile`:
/// history kind and depth (depth 0 becomes 1), reliability (system default = reliable, with
/// infinite blocking), durability (transient local also keeps `depth` samples for late joiners
/// through durability_service), deadline and lifespan only when given, liveliness automatic
/// unless manual-by-topic (lease infinite unless given), and no auto-dispose of unregistered
/// instances.
dds_qos_t * make_endpoint_qos(const rmw_qos_profile_t & profile);

/// rmw duration -> DDS duration; {0, 0} ("unspecified") and the rmw infinity give DDS_INFINITY.
dds_duration_t to_dds_duration(const rmw_time_t & time);

}  // namespace dds_transport
}  // namespace sweepmend

#endif  // DDS_TRANSPORT__QOS_MAPPING_HPP_
