// SPDX-License-Identifier: GPL-3.0-or-later
// Separable resampling: each axis has a list of taps (source pixels and weights) per
// new pixel; the rows are resampled across, then the resampled rows down. Colours are
// premultiplied floats, a drawn pixel being (r, g, b, 1) and a clear one (0, 0, 0, 0).

#include "tools/Resize.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <unordered_map>
#include <vector>

#include "codec/ColorReduction.h"
#include "codec/GifReader.h"
#include "tools/Frames.h"

namespace vorlane::tools {

using namespace vorlane::gif;
using detail::ShownFrames;
using detail::Steps;

namespace {

constexpr int MaxSide = 65535;

struct Premultiplied {
    float r = 0, g = 0, b = 0, a = 0;
};

// For every new pixel along one axis, the source pixels it takes and their weights.
struct Taps {
    int size = 0; // taps per new pixel; unused ones have weight 0
    std::vector<int> first;
    std::vector<float> weights; // size per new pixel

    const float* weightsOf(int o) const { return weights.data() + size_t(o) * size; }
};

double cubic(double x) {
    // Catmull-Rom: the cubic through the samples with their central slopes.
    x = std::abs(x);
    if (x < 1) return 1.5 * x * x * x - 2.5 * x * x + 1;
    if (x < 2) return -0.5 * x * x * x + 2.5 * x * x - 4 * x + 2;
    return 0;
}

double sinc(double x) {
    if (x == 0) return 1;
    const double px = std::numbers::pi * x;
    return std::sin(px) / px;
}

double lanczos3(double x) {
    return std::abs(x) < 3 ? sinc(x) * sinc(x / 3) : 0;
}

// Taps from `in` pixels to `out`. Sources beyond the edges are the edge pixels.
Taps tapsFor(int in, int out, ResizeFilter filter) {
    const double scale = double(out) / in;
    if (filter == ResizeFilter::Auto) filter = scale < 1 ? ResizeFilter::Area : ResizeFilter::Bicubic;
    std::vector<std::vector<std::pair<int, double>>> lists(static_cast<size_t>(out));
    for (int o = 0; o < out; ++o) {
        std::vector<std::pair<int, double>>& list = lists[size_t(o)];
        auto add = [&](int j, double w) {
            j = std::clamp(j, 0, in - 1);
            if (!list.empty() && list.back().first == j)
                list.back().second += w;
            else
                list.emplace_back(j, w);
        };
        if (out == in) {
            add(o, 1);
        } else if (filter == ResizeFilter::Area) {
            // The new pixel covers [begin, end) of the source.
            const double begin = o / scale;
            const double end = (o + 1) / scale;
            for (int j = int(std::floor(begin)); j < end; ++j) {
                const double w = std::min(end, j + 1.0) - std::max(begin, double(j));
                if (w > 0) add(j, w);
            }
        } else {
            const double radius = filter == ResizeFilter::Lanczos ? 3 : 2;
            // Shrinking widens the kernel to the new pixel's footprint, which keeps it
            // from aliasing.
            const double stretch = std::min(1.0, scale);
            const double centre = (o + 0.5) / scale;
            const double reach = radius / stretch;
            for (int j = int(std::floor(centre - reach)); j <= int(std::ceil(centre + reach)); ++j) {
                const double x = (j + 0.5 - centre) * stretch;
                const double w = filter == ResizeFilter::Lanczos ? lanczos3(x) : cubic(x);
                if (w != 0) add(j, w);
            }
        }
    }
    Taps taps;
    // A tap of weight 0 inside the kernel leaves a gap in a list: the span counts.
    for (const auto& list : lists)
        taps.size = std::max(taps.size, list.back().first - list.front().first + 1);
    taps.first.resize(size_t(out));
    taps.weights.assign(size_t(out) * taps.size, 0.0f);
    for (int o = 0; o < out; ++o) {
        const auto& list = lists[size_t(o)];
        double sum = 0;
        for (const auto& [j, w] : list)
            sum += w;
        // The taps run from the first source pixel on, in order; the edge pixels have
        // gathered the weights beyond them.
        const int first = list.front().first;
        taps.first[size_t(o)] = first;
        float* weights = taps.weights.data() + size_t(o) * taps.size;
        for (const auto& [j, w] : list)
            weights[j - first] += float(w / sum);
    }
    return taps;
}

// What one thread keeps between frames.
struct Worker {
    std::vector<Premultiplied> across; // the rows resampled across: newWidth x height
    std::vector<Premultiplied> row;
    std::vector<uint32_t> picture; // the new picture, 0 for clear
    ColorReducer reducer;
};

struct NewFrame {
    Bytes pixels;
    ColorTable colors;
    std::optional<uint8_t> transparentIndex;
};

NewFrame resample(const GifImage& image, size_t i, const Taps& across, const Taps& down,
                  int newWidth, int newHeight, Worker& worker) {
    const int width = image.screenWidth;
    const int height = image.screenHeight;
    const detail::DrawnColors drawn = detail::drawnColors(image, i);
    std::array<Premultiplied, 256> colors;
    for (size_t v = 0; v < 256; ++v) {
        const uint32_t c = drawn[v];
        if (c != 0)
            colors[v] = {float((c >> 16) & 0xFF), float((c >> 8) & 0xFF), float(c & 0xFF), 1.0f};
    }
    const uint8_t* pixels = image.frame(i).pixels().data();

    worker.across.assign(size_t(newWidth) * height, Premultiplied{});
    for (int y = 0; y < height; ++y) {
        const uint8_t* source = pixels + size_t(y) * width;
        Premultiplied* target = worker.across.data() + size_t(y) * newWidth;
        for (int x = 0; x < newWidth; ++x) {
            const float* w = across.weightsOf(x);
            const uint8_t* s = source + across.first[size_t(x)];
            const int count = std::min(across.size, width - across.first[size_t(x)]);
            Premultiplied sum;
            for (int k = 0; k < count; ++k) {
                const Premultiplied& c = colors[s[k]];
                sum.r += w[k] * c.r;
                sum.g += w[k] * c.g;
                sum.b += w[k] * c.b;
                sum.a += w[k] * c.a;
            }
            target[x] = sum;
        }
    }

    worker.picture.resize(size_t(newWidth) * newHeight);
    worker.row.resize(size_t(newWidth));
    for (int y = 0; y < newHeight; ++y) {
        std::fill(worker.row.begin(), worker.row.end(), Premultiplied{});
        const float* w = down.weightsOf(y);
        const int first = down.first[size_t(y)];
        const int count = std::min(down.size, height - first);
        for (int k = 0; k < count; ++k) {
            if (w[k] == 0) continue;
            const Premultiplied* source = worker.across.data() + size_t(first + k) * newWidth;
            for (int x = 0; x < newWidth; ++x) {
                worker.row[size_t(x)].r += w[k] * source[x].r;
                worker.row[size_t(x)].g += w[k] * source[x].g;
                worker.row[size_t(x)].b += w[k] * source[x].b;
                worker.row[size_t(x)].a += w[k] * source[x].a;
            }
        }
        uint32_t* target = worker.picture.data() + size_t(y) * newWidth;
        for (int x = 0; x < newWidth; ++x) {
            const Premultiplied& c = worker.row[size_t(x)];
            // Drawn when at least half covered; its colour is the covered part's.
            if (c.a < 0.5f) {
                target[x] = 0;
                continue;
            }
            auto channel = [&](float v) {
                return uint32_t(std::clamp(int(std::lround(v / c.a)), 0, 255));
            };
            target[x] = 0xFF000000u | channel(c.r) << 16 | channel(c.g) << 8 | channel(c.b);
        }
    }

    NewFrame made;
    made.pixels.resize(worker.picture.size());
    const ReductionResult reduced = worker.reducer.reduce(
        PixelView{worker.picture.data(), newWidth, newHeight, newWidth}, made.pixels.data(),
        newWidth, Dither::Nearest, 256, Rgb{255, 255, 255});
    made.colors = reduced.colors;
    made.transparentIndex = reduced.transparentIndex;
    if (made.transparentIndex)
        made.colors[*made.transparentIndex] =
            detail::transparentEntryColor(image, i, made.colors, *made.transparentIndex);
    return made;
}

// Integer n * numerator / denominator rounded half up.
int scaledSide(int n, long long numerator, long long denominator) {
    return int(std::max<long long>(1, (2 * n * numerator + denominator) / (2 * denominator)));
}

} // namespace

void checkResizeSize(QSize size, size_t frames) {
    if (size.width() < 1 || size.height() < 1 || size.width() > MaxSide || size.height() > MaxSide)
        throw GifError("The size must be 1 to 65535 pixels each way");
    const ReadLimits limits;
    const uint64_t area = uint64_t(size.width()) * uint64_t(size.height());
    if (area > limits.maxScreenPixels || area * frames > limits.maxComposedPixels)
        throw GifError("The resized animation would be too large");
}

const char* filterName(ResizeFilter filter) {
    switch (filter) {
    case ResizeFilter::Auto:
        return "auto";
    case ResizeFilter::Nearest:
        return "nearest";
    case ResizeFilter::Area:
        return "area";
    case ResizeFilter::Bicubic:
        return "bicubic";
    case ResizeFilter::Lanczos:
        return "lanczos";
    }
    return "auto";
}

std::optional<ResizeFilter> filterNamed(std::string_view name) {
    for (const ResizeFilter f : {ResizeFilter::Auto, ResizeFilter::Nearest, ResizeFilter::Area,
                                 ResizeFilter::Bicubic, ResizeFilter::Lanczos})
        if (name == filterName(f)) return f;
    return std::nullopt;
}

QSize resizedSize(QSize screen, int width, int height, bool keepAspect) {
    if (width < 0 || height < 0) throw GifError("The size must be 1 to 65535 pixels each way");
    const int w = screen.width();
    const int h = screen.height();
    if (width == 0 && height == 0) return screen;
    if (w <= 0 || h <= 0) return QSize(width, height); // no aspect to keep
    if (height == 0) return QSize(width, scaledSide(h, width, w));
    if (width == 0) return QSize(scaledSide(w, height, h), height);
    if (!keepAspect) return QSize(width, height);
    // The side that binds keeps its length.
    if (int64_t(width) * h <= int64_t(height) * w) return QSize(width, scaledSide(h, width, w));
    return QSize(scaledSide(w, height, h), height);
}

QSize scaledSize(QSize screen, double percent) {
    if (!(percent > 0) || !std::isfinite(percent)) throw GifError("The scale must be above 0 percent");
    auto side = [percent](int n) {
        return int(std::clamp(std::floor(n * percent / 100.0 + 0.5), 1.0, double(MaxSide + 1)));
    };
    return QSize(side(screen.width()), side(screen.height()));
}

GifImage resize(const GifImage& source, QSize size, ResizeFilter filter, const ToolContext& context) {
    if (uint64_t(source.screenWidth) * source.screenHeight == 0)
        throw GifError("The logical screen is empty");
    checkResizeSize(size, source.frameCount());
    Steps steps(context);
    const ShownFrames shown(source, steps);
    const GifImage& image = shown.image();
    const int width = image.screenWidth;
    const int height = image.screenHeight;
    const int newWidth = size.width();
    const int newHeight = size.height();

    GifImage result;
    if (filter == ResizeFilter::Nearest) {
        // The source pixel under each new pixel's centre, by index: no colour changes,
        // and each pixel clear in one frame is clear at its new places in all, so the
        // disposal codes still hold.
        std::vector<int> column(static_cast<size_t>(newWidth));
        for (int x = 0; x < newWidth; ++x)
            column[size_t(x)] = int((2LL * x + 1) * width / (2LL * newWidth));
        result = detail::mapPixels(image, newWidth, newHeight, steps,
                                   [&](const Bytes& from, uint8_t* to) {
                                       for (int y = 0; y < newHeight; ++y) {
                                           const uint8_t* row =
                                               from.data() +
                                               size_t((2LL * y + 1) * height / (2LL * newHeight)) *
                                                   width;
                                           uint8_t* target = to + size_t(y) * newWidth;
                                           for (int x = 0; x < newWidth; ++x)
                                               target[x] = row[column[size_t(x)]];
                                       }
                                   });
        steps.finish();
        return result;
    }

    const Taps across = tapsFor(width, newWidth, filter);
    const Taps down = tapsFor(height, newHeight, filter);

    // Frames showing the same pixels in the same colours are resampled once.
    std::vector<size_t> unique;
    std::vector<size_t> madeFor(image.frameCount());
    std::unordered_map<const Bytes*, std::vector<size_t>> byBuffer;
    for (size_t i = 0; i < image.frameCount(); ++i) {
        std::vector<size_t>& candidates = byBuffer[image.frame(i).sharedPixels().get()];
        const detail::DrawnColors colors = detail::drawnColors(image, i);
        auto same = std::find_if(candidates.begin(), candidates.end(), [&](size_t k) {
            return detail::drawnColors(image, unique[k]) == colors;
        });
        if (same != candidates.end()) {
            madeFor[i] = *same;
            continue;
        }
        madeFor[i] = unique.size();
        candidates.push_back(unique.size());
        unique.push_back(i);
    }

    steps.addWork(unique.size());
    std::vector<Worker> workers(static_cast<size_t>(detail::workerCount(unique.size())));
    std::vector<std::shared_ptr<const Bytes>> pixels(unique.size());
    std::vector<NewFrame> made(unique.size());
    detail::parallelFor(unique.size(), steps, [&](size_t k, int worker) {
        made[k] = resample(image, unique[k], across, down, newWidth, newHeight,
                           workers[size_t(worker)]);
        pixels[k] = std::make_shared<const Bytes>(std::move(made[k].pixels));
    });

    result = detail::emptyLike(image, newWidth, newHeight);
    for (size_t i = 0; i < image.frameCount(); ++i) {
        const NewFrame& frame = made[madeFor[i]];
        Frame resized = detail::withTransparency(image.frame(i), frame.transparentIndex);
        resized.setSharedPixels(uint16_t(newWidth), uint16_t(newHeight), pixels[madeFor[i]]);
        resized.setLocalColors(frame.colors.empty() ? ColorTable{Rgb{}} : frame.colors);
        result.appendFrame(std::move(resized));
    }
    // Resampling spreads and thresholds coverage, so a pixel clear in one frame may be
    // drawn in the frame before it: the disposals are made to clear where needed.
    detail::settleDisposals(result);
    steps.finish();
    return result;
}

} // namespace vorlane::tools
