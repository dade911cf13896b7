# Compiles one probe per function that rclcpp, rcl and rcutils mark warn-unused-result, once
# dropping the result (must be rejected under -Werror=unused-result) and once keeping it (must
# compile, so that the rejection comes from the marking and not from a broken probe).
# Called by ctest with -DCXX=<compiler> -DINCLUDE_DIR=<compat/include> -DWORK_DIR=<scratch dir>.
set(_probes
  "rcutils/logging.h|rcutils_logging_initialize()"
  "rcutils/logging.h|rcutils_logging_shutdown()"
  "rcutils/logging.h|rcutils_logging_get_output_handler()"
  "rcutils/logging.h|rcutils_logging_get_default_logger_level()"
  "rcutils/logging.h|rcutils_logging_get_logger_level(\"a\")"
  "rcutils/logging.h|rcutils_logging_set_logger_level(\"a\", 20)"
  "rcutils/logging.h|rcutils_logging_get_logger_effective_level(\"a\")"
  "rcutils/logging.h|rcutils_logging_logger_is_enabled_for(\"a\", 20)"
  "rcutils/allocator.h|rcutils_get_zero_initialized_allocator()"
  "rcutils/allocator.h|rcutils_get_default_allocator()"
  "rcl/allocator.h|rcl_get_default_allocator()"
  "rcutils/time.h|rcutils_system_time_now(&t)"
  "rcutils/time.h|rcutils_steady_time_now(&t)"
  "rcutils/error_handling.h|rcutils_error_is_set()"
  "rcutils/error_handling.h|rcutils_get_error_state()"
  "rcutils/error_handling.h|rcutils_get_error_string()"
  "rclcpp/node.hpp|node->add_on_set_parameters_callback(nullptr)"
  "rclcpp/node.hpp|node->get_node_parameters_interface()->add_on_set_parameters_callback(nullptr)"
)
set(_failures "")
set(_index 0)
foreach(_probe IN LISTS _probes)
  string(FIND "${_probe}" "|" _bar)
  string(SUBSTRING "${_probe}" 0 ${_bar} _header)
  math(EXPR _start "${_bar} + 1")
  string(SUBSTRING "${_probe}" ${_start} -1 _call)
  set(_prologue "#include <memory>\n#include \"${_header}\"\n#include \"rcutils/time.h\"\n")
  string(APPEND _prologue "namespace rclcpp {class Node;}\n")
  string(APPEND _prologue "template<typename N> void probe(const std::shared_ptr<N> & node)\n{\n")
  string(APPEND _prologue "  rcutils_time_point_value_t t = 0;\n  (void)t;\n  (void)node;\n")
  set(_epilogue "}\nvoid instantiate() {probe(std::shared_ptr<rclcpp::Node>());}\n")
  if(_header MATCHES "^rclcpp/")
    set(_epilogue "}\nvoid instantiate() {probe(std::make_shared<rclcpp::Node>(\"n\"));}\n")
  endif()
  file(WRITE "${WORK_DIR}/drop_${_index}.cpp" "${_prologue}  ${_call};\n${_epilogue}")
  file(WRITE "${WORK_DIR}/keep_${_index}.cpp"
    "${_prologue}  auto kept = ${_call};\n  (void)kept;\n${_epilogue}")
  # The marking is diagnosed while code is generated, so -fsyntax-only would not see it.
  set(_flags -std=c++17 -c -o /dev/null -Werror=unused-result -isystem "${INCLUDE_DIR}")
  execute_process(COMMAND "${CXX}" ${_flags} "${WORK_DIR}/keep_${_index}.cpp"
    RESULT_VARIABLE _keep_result OUTPUT_VARIABLE _out ERROR_VARIABLE _keep_err)
  execute_process(COMMAND "${CXX}" ${_flags} "${WORK_DIR}/drop_${_index}.cpp"
    RESULT_VARIABLE _drop_result OUTPUT_VARIABLE _out ERROR_VARIABLE _drop_err)
  if(NOT _keep_result EQUAL 0)
    string(APPEND _failures "probe for ${_call} does not compile:\n${_keep_err}\n")
  elseif(_drop_result EQUAL 0)
    string(APPEND _failures "${_call}: dropping the result is accepted\n")
  elseif(NOT _drop_err MATCHES "unused-result|warn_unused_result")
    string(APPEND _failures "${_call}: rejected for another reason:\n${_drop_err}\n")
  endif()
  math(EXPR _index "${_index} + 1")
endforeach()
if(_failures)
  message(FATAL_ERROR "${_failures}")
endif()
message(STATUS "${_index} functions are marked warn-unused-result")
