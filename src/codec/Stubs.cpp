// Temporary definitions of codec operations whose implementation is being written.
#include "codec/Optimize.h"

namespace vorlane::gif {
void optimize(GifImage&, const OptimizeOptions&) { throw GifError("not implemented"); }
} // namespace vorlane::gif
