// The DDS transport's receive path: whatever bytes another participant sends under a type name
// the transport carries. The first input byte picks the type, the rest is the payload. Bytes that
// do not decode are dropped with a (throttled) report and never reach the subscription; bytes that
// do give a message whose own encoding decodes again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dds_transport/message_codecs.hpp"
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * data, std::size_t size)
{
  using sweepmend::dds_transport::find_codec;
  static const std::vector<std::string> types = sweepmend::dds_transport::carried_types();
  static sweepmend::dds_transport::DropThrottle throttle;
  if (size == 0) {
    return 0;
  }
  const std::string & type = types[data[0] % types.size()];
  const auto * codec = find_codec(type);
  sweepmend::dds_transport::receive_payload(
    "/fuzz", type, data + 1, size - 1, throttle,
    [&](const rclcpp::detail::MessagePtr & message) {
      const std::vector<uint8_t> again = codec->encode(message.get());
      if (again.size() % 4 != 0) {
        sweepmend_fuzz::fail(type + ": wire payload not padded to a multiple of 4");
      }
      std::string error;
      if (!sweepmend::dds_transport::decode_received(type, again.data(), again.size(), error)) {
        sweepmend_fuzz::fail(type + ": own payload does not decode: " + error);
      }
    });
  return 0;
}
