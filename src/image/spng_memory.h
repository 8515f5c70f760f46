// Memory for libspng, reading and writing: from operator new, as the rest
// of tessarn's is, so that memory runs out for libspng as it does for the
// rest (and the tests that make allocations fail reach it).

#ifndef TESSARN_IMAGE_SPNG_MEMORY_H_
#define TESSARN_IMAGE_SPNG_MEMORY_H_

#include <spng.h>

namespace tessarn {

// For spng_ctx_new2().
spng_alloc* spngAllocator();

// Whether an allocation failed on this thread since the last call: libspng
// reports some of them (zlib's) as other errors.
bool spngRanOutOfMemory();

}  // namespace tessarn

#endif  // TESSARN_IMAGE_SPNG_MEMORY_H_
