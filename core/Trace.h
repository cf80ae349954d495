#pragma once
// Trace points name the operation as "namespace::Class::Method" and carry a printf-style message.
// In these builds the sink writes nothing; the call sits behind `if (false)` so it costs nothing at run
// time (also on the audio thread) while the compiler still checks the format against its arguments.

namespace ondrell {

// The trace sink: deliberately empty in these builds.
[[gnu::format(printf, 2, 3)]] inline void TraceSink(const char* /*operation*/, const char* /*format*/, ...) {}

}  // namespace ondrell

#define ONDRELL_TRACE(operation, ...)                  \
  do {                                                 \
    if (false) ::ondrell::TraceSink(operation, __VA_ARGS__); \
  } while (0)
