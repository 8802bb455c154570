// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/Export.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <functional>
#include <map>
#include <numeric>
#include <optional>

#include <QLocale>

#include "codec/Compositor.h"
#include "codec/Parallel.h"
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
        m_smallest = std::min(m_smallest, size);
        return size;
    }
    int trials() const { return m_trials; }
    // The smallest size measured so far.
    uint64_t smallest() const { return m_smallest; }

private:
    Measure m_measure;
    std::map<std::tuple<int, int, int, bool>, uint64_t> m_known;
    int m_trials = 0;
    uint64_t m_smallest = UINT64_MAX;
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
// Fewer colours need not make a smaller file (dithering with few colours makes noise
// that codes badly), so colour counts are tried halving from the one asked for, the
// largest that fits is refined towards the one above it, and then the lossiness is
// lowered as far as that count allows.
ExportSettings searchGif(const ExportSettings& asked, uint64_t limit, Sizes& sizes) {
    ExportSettings s = asked;
    if (sizes(s) <= limit) return s;
    auto setLossy = [](ExportSettings& x, int v) { x.lossy = v; };
    s.lossy = MaxLossy;
    if (sizes(s) <= limit) {
        s.lossy = smallestFitting(s, asked.lossy, MaxLossy, LossyStep, limit, sizes, setLossy);
        return s;
    }
    int fits = 0;
    int above = asked.colors; // known not to fit
    for (int c = asked.colors / 2; c >= MinColors && fits == 0; c /= 2) {
        s.colors = c;
        if (sizes(s) <= limit)
            fits = c;
        else
            above = c;
    }
    if (fits == 0) {
        s.colors = MinColors;
        if (sizes(s) > limit)
            throw gif::GifError(tooLargeText(sizes.smallest(), limit).toStdString());
        fits = MinColors;
    }
    // A few steps towards the count above.
    for (int step = 0; step < 3 && above - fits > 1; ++step) {
        const int mid = fits + (above - fits) / 2;
        s.colors = mid;
        if (sizes(s) <= limit)
            fits = mid;
        else
            above = mid;
    }
    s.colors = fits;
    s.lossy = smallestFitting(s, asked.lossy, MaxLossy, LossyStep, limit, sizes, setLossy);
    return s;
}

// The highest WebP quality within the limit.
ExportSettings searchWebp(const ExportSettings& asked, uint64_t limit, Sizes& sizes) {
    ExportSettings s = asked;
    if (sizes(s) <= limit) return s;
    s.webpLossless = false;
    s.webpQuality = 0;
    if (sizes(s) > limit) throw gif::GifError(tooLargeText(sizes.smallest(), limit).toStdString());
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
// The sample: this many runs of this many frames, each after the frame before it.
constexpr size_t SampleRuns = 6;
constexpr size_t RunLength = 3;
// Frames written before each run's measured ones: a run's first frame is drawn whole
// and its disposal follows from the frame after it, which the whole export need not
// do; a frame between lets the measured ones follow what the export really draws.
constexpr size_t RunLead = 3;

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

namespace {

// The least-squares fit of y = c0 + c1 x1 + c2 x2, with every coefficient at least 0
// (a model that falls back to fewer terms when the full fit would take a negative one).
std::array<double, 3> fitCost(const std::vector<std::array<double, 3>>& x,
                              const std::vector<double>& y) {
    auto solve = [&](const std::array<bool, 3>& use) -> std::optional<std::array<double, 3>> {
        // Normal equations over the terms in use, by Gaussian elimination.
        std::vector<int> terms;
        for (int k = 0; k < 3; ++k)
            if (use[size_t(k)]) terms.push_back(k);
        const size_t m = terms.size();
        std::vector<std::vector<double>> a(m, std::vector<double>(m + 1, 0.0));
        for (size_t i = 0; i < x.size(); ++i)
            for (size_t r = 0; r < m; ++r) {
                for (size_t c = 0; c < m; ++c)
                    a[r][c] += x[i][size_t(terms[r])] * x[i][size_t(terms[c])];
                a[r][m] += x[i][size_t(terms[r])] * y[i];
            }
        for (size_t r = 0; r < m; ++r)
            a[r][r] += 1e-9 * (1.0 + a[r][r]);
        for (size_t c = 0; c < m; ++c) {
            size_t pivot = c;
            for (size_t r = c + 1; r < m; ++r)
                if (std::abs(a[r][c]) > std::abs(a[pivot][c])) pivot = r;
            std::swap(a[c], a[pivot]);
            if (std::abs(a[c][c]) < 1e-12) return std::nullopt;
            for (size_t r = 0; r < m; ++r) {
                if (r == c) continue;
                const double f = a[r][c] / a[c][c];
                for (size_t k = c; k <= m; ++k)
                    a[r][k] -= f * a[c][k];
            }
        }
        std::array<double, 3> coef{0, 0, 0};
        for (size_t r = 0; r < m; ++r) {
            coef[size_t(terms[r])] = a[r][m] / a[r][r];
            if (coef[size_t(terms[r])] < 0) return std::nullopt;
        }
        return coef;
    };
    for (const std::array<bool, 3> use :
         {std::array<bool, 3>{true, true, true}, std::array<bool, 3>{true, true, false},
          std::array<bool, 3>{true, false, true}, std::array<bool, 3>{true, false, false}})
        if (const auto coef = solve(use)) return *coef;
    return {0, 0, 0};
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
    if (area * n <= SmallAnimation || n <= SampleRuns * (RunLength + RunLead) + 1) {
        const ExportResult whole = exportAnimation(image, settings, context);
        estimate.bytes = whole.bytes.size();
        estimate.used = whole.used;
        estimate.exact = true;
        estimate.seconds = secondsSince(start);
        return estimate;
    }

    // What each frame changes (pixels, and the rectangle holding them), counted on the
    // shown pictures.
    const Steps counting = steps.part(0, 10);
    std::vector<std::array<double, 3>> features(n, {1.0, 0.0, 0.0});
    {
        ShownAnimation shown(image);
        QImage previous = shown.picture(0);
        for (size_t k = 1; k < n; ++k) {
            counting.check();
            QImage picture = shown.picture(k);
            const FrameChange change = changeBetween(previous, picture);
            features[k] = {1.0, double(change.changed),
                           double(change.rect.width()) * double(change.rect.height())};
            previous = std::move(picture);
            counting.report(int(k * 100 / n));
        }
    }
    // Runs of frames spread evenly over the animation, each exported on its own after the
    // frames before it (RunLead); the first frame alone besides. The bytes of each run's frames
    // against what they change give the cost of a frame, fitted as a fixed part plus
    // parts for the pixels and for the rectangle that change.
    std::vector<std::vector<size_t>> runs;
    std::vector<size_t> leads; // of each run, the frames written before the measured ones
    for (size_t r = 0; r < SampleRuns; ++r) {
        const size_t first = 1 + (r * (n - 1 - RunLength)) / (SampleRuns - 1);
        const size_t start = first >= RunLead ? first - RunLead : 0;
        std::vector<size_t> frames;
        for (size_t k = start; k < first + RunLength && k < n; ++k)
            frames.push_back(k);
        runs.push_back(std::move(frames));
        leads.push_back(first - start);
    }
    std::vector<Writer> writers;
    writers.emplace_back(image, std::vector<size_t>{0});
    for (const auto& run : runs)
        writers.emplace_back(image, run);
    double perFrameSeconds = 0;
    auto measure = [&](const ExportSettings& s, const Steps& within) -> uint64_t {
        // The runs are animations of their own, written side by side; progress goes
        // from this thread as they end.
        tools::ToolContext quiet;
        if (within.context) quiet.cancelled = within.context->cancelled;
        const Steps quietSteps{&quiet, 0, 100};
        std::vector<std::vector<size_t>> runSizes(writers.size());
        // Each writer's own time: the export writes its frames one after the other.
        std::vector<double> seconds(writers.size(), 0.0);
        size_t firstSize = 0;
        gif::parallelFor(
            writers.size(),
            [&](size_t w) {
                const auto writing = std::chrono::steady_clock::now();
                if (w == 0)
                    firstSize = writers[0].write(s, quietSteps, nullptr).size();
                else
                    writers[w].write(s, quietSteps, &runSizes[w]);
                seconds[w] = secondsSince(writing);
            },
            [&](size_t done) {
                within.check();
                within.report(int(done * 100 / writers.size()));
            });
        std::vector<std::array<double, 3>> x;
        std::vector<double> y;
        size_t exported = 1;
        for (size_t w = 1; w < writers.size(); ++w) {
            const std::vector<size_t>& sizes = runSizes[w];
            const std::vector<size_t>& run = runs[w - 1];
            exported += run.size();
            for (size_t k = leads[w - 1]; k < run.size() && k < sizes.size(); ++k) {
                x.push_back(features[run[k]]);
                y.push_back(double(sizes[k]));
            }
        }
        const std::array<double, 3> cost = fitCost(x, y);
        double bytes = double(firstSize);
        for (size_t k = 1; k < n; ++k)
            bytes += cost[0] + cost[1] * features[k][1] + cost[2] * features[k][2];
        // A fit thrown off by a few odd frames is not trusted beyond a factor of two of
        // the plain mean of the sampled frames.
        const double mean = double(firstSize) + double(n - 1) *
                                                    std::accumulate(y.begin(), y.end(), 0.0) /
                                                    double(std::max<size_t>(1, y.size()));
        bytes = std::clamp(bytes, mean / 2, mean * 2);
        perFrameSeconds = std::accumulate(seconds.begin(), seconds.end(), 0.0) / double(exported);
        return uint64_t(std::llround(bytes));
    };

    const Steps sampling = steps.part(10, 100);
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
