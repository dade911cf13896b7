// Type-name traits as rosidl generates them; the transport and the bag tools use them to name a
// message type ("sensor_msgs/msg/Imu") without a type-support library.
#ifndef ROSIDL_RUNTIME_CPP__MESSAGE_TRAITS_HPP_
#define ROSIDL_RUNTIME_CPP__MESSAGE_TRAITS_HPP_

namespace rosidl_generator_traits
{
/// Full interface name of MessageT, e.g. "sensor_msgs/msg/Imu".
template<typename MessageT>
inline const char * name();

/// Type name as the .msg dependency lists write it, e.g. "sensor_msgs::msg::Imu".
template<typename MessageT>
inline const char * data_type();
}  // namespace rosidl_generator_traits

/// Declares the pointer aliases every generated message carries.
#define SWEEPMEND_COMPAT_MSG_ALIASES(Type) \
  using SharedPtr = std::shared_ptr<Type>; \
  using ConstSharedPtr = std::shared_ptr<const Type>; \
  using UniquePtr = std::unique_ptr<Type>; \
  using ConstUniquePtr = std::unique_ptr<const Type>; \
  using WeakPtr = std::weak_ptr<Type>; \
  using ConstWeakPtr = std::weak_ptr<const Type>

/// Registers the interface name of a message type (global namespace only).
#define SWEEPMEND_COMPAT_MSG_NAME(CppType, Name, DataType) \
  namespace rosidl_generator_traits \
  { \
  template<> inline const char * name<CppType>() {return Name;} \
  template<> inline const char * data_type<CppType>() {return DataType;} \
  }

#endif  // ROSIDL_RUNTIME_CPP__MESSAGE_TRAITS_HPP_
