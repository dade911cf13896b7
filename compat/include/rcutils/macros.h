// rcutils' helper macros: the warn-unused-result marking that rcutils and rcl put on functions
// whose result must be looked at.
#ifndef RCUTILS__MACROS_H_
#define RCUTILS__MACROS_H_

#if defined(__GNUC__) || defined(__clang__)
#define RCUTILS_WARN_UNUSED __attribute__((warn_unused_result))
#else
#define RCUTILS_WARN_UNUSED
#endif

#define RCUTILS_UNUSED(x) (void)(x)

#endif  // RCUTILS__MACROS_H_
