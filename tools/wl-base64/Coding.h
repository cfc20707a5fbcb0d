// The two directions of wl-base64 over file descriptors, in blocks of bounded size.
//
// Encoding reads blocks of a multiple of three bytes, so only the last block can
// end in a partial group and carry padding. Decoding feeds blocks of any size to a
// Base64StreamDecoder, whose carried state makes the result independent of where the
// blocks are cut, and holds the output back until the whole input proved valid.
#pragma once

#include "Options.h"

namespace waterline {

// Both return the exit status, having reported any failure on standard error.
int encodeStream(int input, int output, const Options& options);
int decodeStream(int input, int output, const Options& options);

} // namespace waterline
