// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/Export.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <map>
#include <numeric>

#include <QLocale>

#include "codec/Compositor.h"
#include "codec/SafeFile.h"
#include "export/AnimatedFormats.h"
#include "export/FrameChanges.h"
#include "export/GifExport.h"
#include "export/ShownAnimation.h"

namespace vorlane::exporting {

namespace {

// Lossiness steps of the fit-under search: finer steps change the size by less than
// the search's other choices.
constexpr int LossyStep = 5;

// ---- the fit-under search ---------------------------------------------------------------

// Sizes of settings, each worked out once.
class Sizes {
public:
    using Measure = std::function<uint64_t(const ExportSettings&)>;
    explicit Sizes(Measure measure) : m_measure(std::move(measure)) {}
    uint64_t operator()(const ExportSettings& s) {
        const auto key = std::make_tuple(s.colors, s.lossy, s.webpQuality, s.webpLossless);
        if (auto it = m_known.find(key); it != m_known.end()) return it->second;
        const uint64_t size = m_measure(s);
        m_known.emplace(key, size);
        ++m_trials;
        return size;
    }
    int trials() const { return m_trials; }

private:
    Measure m_measure;
    std::map<std::tuple<int, int, int, bool>, uint64_t> m_known;
    int m_trials = 0;
};

// The smallest value in (low, high] whose settings fit, `high` fitting, `low` not;
// `set` puts a value into the settings. Sizes fall as the value rises.
int smallestFitting(ExportSettings s, int low, int high, int step, uint64_t limit, Sizes& sizes,
                    const std::function<void(ExportSettings&, int)>& set) {
    while (high - low > step) {
        const int mid = low + (high - low) / 2;
        set(s, mid);
        if (sizes(s) <= limit)
            high = mid;
        else
            low = mid;
    }
    return high;
}

// The settings of the best quality within the limit: lossiness first, then colours.
ExportSettings searchGif(const ExportSettings& asked, uint64_t limit, Sizes& sizes) {
    ExportSettings s = asked;
    if (sizes(s) <= limit) return s;
    auto setLossy = [](ExportSettings& x, int v) { x.lossy = v; };
    auto setColors = [](ExportSettings& x, int v) { x.colors = v; };
    s.lossy = MaxLossy;
    if (sizes(s) <= limit) {
        s.lossy = smallestFitting(s, asked.lossy, MaxLossy, LossyStep, limit, sizes, setLossy);
        return s;
    }
    // Colours at the highest lossiness: the most that fit.
    s.colors = MinColors;
    const uint64_t smallest = sizes(s);
    if (smallest > limit) throw gif::GifError(tooLargeText(smallest, limit).toStdString());
    int low = MinColors, high = asked.colors; // low fits, high does not
    while (high - low > 1) {
        const int mid = low + (high - low) / 2;
        s.colors = mid;
        if (sizes(s) <= limit)
            low = mid;
        else
            high = mid;
    }
    s.colors = low;
    // Then as little lossiness as that count allows.
    s.lossy = smallestFitting(s, asked.lossy, MaxLossy, LossyStep, limit, sizes, setLossy);
    (void)setColors;
    return s;
}

// The highest WebP quality within the limit.
ExportSettings searchWebp(const ExportSettings& asked, uint64_t limit, Sizes& sizes) {
    ExportSettings s = asked;
    if (sizes(s) <= limit) return s;
    s.webpLossless = false;
    s.webpQuality = 0;
    const uint64_t smallest = sizes(s);
    if (smallest > limit) throw gif::GifError(tooLargeText(smallest, limit).toStdString());
    int low = 0, high = asked.webpLossless ? 101 : asked.webpQuality; // low fits, high not
    while (high - low > 1) {
        const int mid = low + (high - low) / 2;
        s.webpQuality = mid;
        if (sizes(s) <= limit)
            low = mid;
        else
            high = mid;
    }
    s.webpQuality = low;
    return s;
}

// ---- whole exports ----------------------------------------------------------------------

// Writes `shown` with fixed settings. The prepared GIF is kept for the next call with
// the same colour settings, so that a search over lossiness prepares once.
class Writer {
public:
    Writer(const gif::GifImage& image, std::vector<size_t> frames = {})
        : m_image(image), m_frames(std::move(frames)) {}

    gif::Bytes write(const ExportSettings& s, const Steps& steps,
                     std::vector<size_t>* frameSizes = nullptr) {
        ShownAnimation shown =
            m_frames.empty() ? ShownAnimation(m_image) : ShownAnimation(m_image, m_frames);
        switch (s.format) {
        case Format::Gif: {
            const bool again = m_prepared && m_preparedFor.colors == s.colors &&
                               m_preparedFor.palette == s.palette &&
                               m_preparedFor.dither == s.dither &&
                               m_preparedFor.optimize == s.optimize;
            if (!again) {
                m_prepared.reset();
                m_prepared.emplace(prepareGif(shown, s, steps.part(0, 60)));
                m_preparedFor = s;
            }
            std::vector<size_t> ends;
            gif::Bytes bytes =
                writePreparedGif(*m_prepared, s.lossy, again ? steps : steps.part(60, 100),
                                 frameSizes ? &ends : nullptr);
            if (frameSizes)
                for (size_t k = 0; k < ends.size(); ++k)
                    frameSizes->push_back(ends[k] - (k == 0 ? 0 : ends[k - 1]));
            return bytes;
        }
        case Format::WebP:
            return writeWebp(shown, s.webpLossless, s.webpQuality, steps, frameSizes);
        case Format::Apng:
            return writeApng(shown, steps, frameSizes);
        }
        return {};
    }

    // The prepared GIF's table size of frame k, in entries.
    size_t tableEntries(size_t k) const {
        if (!m_prepared || k >= m_prepared->frameCount()) return 0;
        const gif::Frame& f = m_prepared->frame(k);
        return f.localColors().empty() ? 0 : f.localColors().size();
    }

private:
    const gif::GifImage& m_image;
    std::vector<size_t> m_frames;
    std::optional<gif::GifImage> m_prepared;
    ExportSettings m_preparedFor;
};

// A progress range for the search's trials: each trial takes an equal share of what is
// left, so that the bar keeps moving without knowing how many trials there will be.
class TrialSteps {
public:
    explicit TrialSteps(const Steps& steps) : m_steps(steps) {}
    Steps next() {
        const int from = m_done;
        m_done = m_done + (100 - m_done) / 3;
        return m_steps.part(from, std::max(from, m_done));
    }

private:
    Steps m_steps;
    int m_done = 0;
};

} // namespace

QString tooLargeText(uint64_t smallest, uint64_t limit) {
    const QLocale locale;
    return QStringLiteral("The animation cannot be made to fit in %1 bytes: the smallest file "
                          "the settings allow takes %2 bytes.")
        .arg(locale.toString(qulonglong(limit)), locale.toString(qulonglong(smallest)));
}

ExportResult exportAnimation(const gif::GifImage& image, const ExportSettings& settings,
                             const tools::ToolContext& context) {
    if (image.frameCount() == 0) throw gif::GifError(gif::messages::CannotSaveEmpty);
    const Steps steps{&context, 0, 100};
    Writer writer(image);
    ExportResult result;
    result.used = settings;
    if (!settings.maxBytes) {
        result.bytes = writer.write(settings, steps);
        return result;
    }
    const uint64_t limit = *settings.maxBytes;
    if (settings.format == Format::Apng) {
        result.bytes = writer.write(settings, steps);
        if (result.bytes.size() > limit)
            throw gif::GifError(tooLargeText(result.bytes.size(), limit).toStdString());
        return result;
    }
    // Every trial is a whole export; the bytes of the last one that fits are kept.
    TrialSteps trials(steps.part(0, 95));
    gif::Bytes kept;
    ExportSettings keptFor;
    Sizes sizes([&](const ExportSettings& s) {
        gif::Bytes bytes = writer.write(s, trials.next());
        const uint64_t size = bytes.size();
        if (size <= limit) {
            kept = std::move(bytes);
            keptFor = s;
        }
        return size;
    });
    result.used = settings.format == Format::Gif ? searchGif(settings, limit, sizes)
                                                 : searchWebp(settings, limit, sizes);
    result.used.maxBytes = settings.maxBytes;
    keptFor.maxBytes = settings.maxBytes;
    result.bytes = keptFor == result.used && !kept.empty()
                       ? std::move(kept)
                       : writer.write(result.used, steps.part(95, 100));
    steps.report(100);
    return result;
}

ExportResult exportToFile(const gif::GifImage& image, const ExportSettings& settings,
                          const QString& path, const tools::ToolContext& context) {
    ExportResult result = exportAnimation(image, settings, context);
    gif::writeFileSafely(path, result.bytes);
    return result;
}

// ---- the estimate -----------------------------------------------------------------------

namespace {

// Animations of at most this many composed pixels are exported whole for the estimate.
constexpr uint64_t SmallAnimation = uint64_t(4) << 20;
// Pairs of frames in the sample.
constexpr size_t SamplePairs = 10;

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

SizeEstimate estimateSize(const gif::GifImage& image, const ExportSettings& settings,
                          const tools::ToolContext& context) {
    SizeEstimate estimate;
    estimate.used = settings;
    const size_t n = image.frameCount();
    if (n == 0) return estimate;
    const Steps steps{&context, 0, 100};
    const auto start = std::chrono::steady_clock::now();
    const uint64_t area = uint64_t(image.screenWidth) * image.screenHeight;
    if (area * n <= SmallAnimation || n <= SamplePairs + 1) {
        const ExportResult whole = exportAnimation(image, settings, context);
        estimate.bytes = whole.bytes.size();
        estimate.used = whole.used;
        estimate.exact = true;
        estimate.seconds = secondsSince(start);
        return estimate;
    }

    // What each frame changes, counted on the shown pictures.
    const Steps counting = steps.part(0, 10);
    std::vector<double> changed(n, 0);
    {
        ShownAnimation shown(image);
        QImage previous = shown.picture(0);
        for (size_t k = 1; k < n; ++k) {
            counting.check();
            QImage picture = shown.picture(k);
            changed[k] = double(changeBetween(previous, picture).changed);
            previous = std::move(picture);
            counting.report(int(k * 100 / n));
        }
    }
    // Frames picked with chances in proportion to what they change (every frame a little
    // too), each exported after the one before it; the first frame alone besides.
    std::vector<double> weight(n, 0);
    const double floorWeight = double(area) / 64.0;
    for (size_t k = 1; k < n; ++k)
        weight[k] = changed[k] + floorWeight;
    const double total = std::accumulate(weight.begin(), weight.end(), 0.0);
    std::vector<size_t> picked;
    double running = 0;
    size_t at = 1;
    for (size_t s = 0; s < SamplePairs; ++s) {
        const double target = (double(s) + 0.5) / double(SamplePairs) * total;
        while (at + 1 < n && running + weight[at] < target)
            running += weight[at++];
        if (picked.empty() || picked.back() != at) picked.push_back(at);
    }

    const Steps sampling = steps.part(10, 100);
    const size_t trialsPerPair = 2; // the pair and its first frame's share
    (void)trialsPerPair;
    // The bytes of the sample's frames at some settings: first frame alone, then the
    // picked frames after the ones before them.
    std::vector<Writer> writers;
    writers.emplace_back(image, std::vector<size_t>{0});
    for (size_t k : picked)
        writers.emplace_back(image, std::vector<size_t>{k - 1, k});
    double perFrameSeconds = 0;
    int sampledFrames = 0;
    auto measure = [&](const ExportSettings& s, const Steps& within) -> uint64_t {
        const auto began = std::chrono::steady_clock::now();
        std::vector<size_t> sizes;
        const gif::Bytes first =
            writers[0].write(s, within.part(0, 100 / int(writers.size())), nullptr);
        double bytes = double(first.size());
        double sampleBytes = 0, sampleChanged = 0, overhead = 0;
        for (size_t w = 1; w < writers.size(); ++w) {
            sizes.clear();
            writers[w].write(
                s, within.part(int(w * 100 / writers.size()), int((w + 1) * 100 / writers.size())),
                &sizes);
            const size_t k = picked[w - 1];
            // Each frame's blocks besides its pixels: the graphic control record, the
            // image descriptor, a local table and the data's framing.
            const double fixed = s.format == Format::Gif
                                     ? 8.0 + 10.0 + 3.0 * double(writers[w].tableEntries(1)) + 4.0
                                     : 24.0;
            overhead += fixed;
            sampleBytes += std::max(0.0, double(sizes.size() > 1 ? sizes[1] : 0) - fixed);
            sampleChanged += changed[k];
        }
        const double meanOverhead = overhead / double(picked.size());
        const double perChanged = sampleChanged > 0 ? sampleBytes / sampleChanged : 0;
        for (size_t k = 1; k < n; ++k)
            bytes += meanOverhead + perChanged * changed[k];
        perFrameSeconds = secondsSince(began) / double(1 + 2 * picked.size());
        sampledFrames = int(1 + 2 * picked.size());
        return uint64_t(std::llround(bytes));
    };

    if (!settings.maxBytes || settings.format == Format::Apng) {
        estimate.bytes = measure(settings, sampling);
        estimate.seconds = perFrameSeconds * double(n);
        return estimate;
    }
    TrialSteps trials(sampling);
    Sizes sizes([&](const ExportSettings& s) { return measure(s, trials.next()); });
    const uint64_t limit = *settings.maxBytes;
    estimate.used = settings.format == Format::Gif ? searchGif(settings, limit, sizes)
                                                   : searchWebp(settings, limit, sizes);
    estimate.used.maxBytes = settings.maxBytes;
    estimate.bytes = sizes(estimate.used);
    estimate.seconds = perFrameSeconds * double(n) * double(std::max(1, sizes.trials()));
    (void)sampledFrames;
    (void)start;
    return estimate;
}

QImage previewFrame(const gif::GifImage& image, size_t frame, const ExportSettings& settings) {
    if (frame >= image.frameCount()) return {};
    ShownAnimation shown(image, {frame});
    QImage picture = shown.picture(0);
    switch (settings.format) {
    case Format::Apng:
        return picture;
    case Format::WebP:
        return webpPreview(picture, settings.webpLossless, settings.webpQuality);
    case Format::Gif:
        break;
    }
    ExportSettings s = settings;
    s.optimize = false;
    const gif::GifImage prepared = prepareGif(shown, s, {});
    const gif::Bytes bytes = writePreparedGif(prepared, s.lossy, {});
    gif::GifImage written;
    written.load(bytes);
    gif::Compositor compositor(written);
    return compositor.picture(0);
}

} // namespace vorlane::exporting
