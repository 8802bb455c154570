// Temporary definitions of codec operations whose implementation is being written.
#include "codec/Compositor.h"
#include "codec/Optimize.h"
#include "codec/Playback.h"
#include "codec/Unoptimize.h"

namespace vorlane::gif {
Compositor::Compositor(const GifImage& image) : m_image(image) {}
const uint32_t* Compositor::compose(size_t) { throw GifError("not implemented"); }
QImage Compositor::picture(size_t) { throw GifError("not implemented"); }
GifImage unoptimize(const GifImage&) { throw GifError("not implemented"); }
void optimize(GifImage&, const OptimizeOptions&) { throw GifError("not implemented"); }
int Playback::displayMs(uint16_t delay) { return delay <= 1 ? 100 : delay * 10; }
} // namespace vorlane::gif
