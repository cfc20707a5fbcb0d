// The JavaScript engine that evaluates proxy auto-configuration scripts, compiled here
// from the source the duktape package ships beside its library. The packaged library
// is built without the interrupt counter, so a script that loops for ever could never
// be stopped; this build turns on the time-out hook (asked every few thousand
// instructions, see PACScript) and C++ exceptions for its errors, so that an error
// raised inside one of our native functions unwinds C++ frames properly.
//
// The settings are made after the packaged configuration header and before the source;
// the header's include guard keeps the source from reading the header again.
#define DUK_COMPILING_DUKTAPE
#define DUK_SINGLE_FILE
#include <duk_config.h>

#include <exception>
#include <stdexcept>

extern "C" int waterlineDuktapeTimedOut(void* heapUserData);

#define DUK_USE_INTERRUPT_COUNTER
#define DUK_USE_EXEC_TIMEOUT_CHECK(udata) waterlineDuktapeTimedOut(udata)
#define DUK_USE_CPP_EXCEPTIONS

// Not our code: its warnings are not ours to fix.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Weverything"
#else
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wall"
#pragma GCC diagnostic ignored "-Wextra"
#pragma GCC diagnostic ignored "-Wattributes"
#pragma GCC diagnostic ignored "-Wvolatile"
#endif

#include "/usr/share/duktape/duktape.c"

#if defined(__clang__)
#pragma clang diagnostic pop
#else
#pragma GCC diagnostic pop
#endif
