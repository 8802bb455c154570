// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ExportCommand.h"

#include <cstdio>
#include <exception>
#include <limits>
#include <string>
#include <vector>

#include "codec/SafeFile.h"
#include "export/AnimationFiles.h"
#include "export/Export.h"

namespace vorlane::cli {

using exporting::ExportSettings;
using exporting::Format;

namespace {

// An integer option's value within [low, high].
std::optional<long long> number(const QString& text, long long low, long long high) {
    bool ok = false;
    const long long v = text.toLongLong(&ok);
    if (!ok || v < low || v > high) return std::nullopt;
    return v;
}

} // namespace

std::optional<ExportSettings> parseExportOptions(const QString& out, const QStringList& args,
                                                 QString& error) {
    const std::optional<Format> format = exporting::formatForFileName(out);
    if (!format) {
        error = QStringLiteral("OUT must end in .gif, .webp, .png or .apng");
        return std::nullopt;
    }
    ExportSettings s;
    s.format = *format;
    s.webpLossless = true;
    bool gifOnly = false;
    QString gifOption;
    for (qsizetype i = 0; i < args.size(); ++i) {
        QString name = args[i];
        QString value;
        bool hasValue = false;
        if (const qsizetype eq = name.indexOf(QLatin1Char('=')); eq > 0) {
            value = name.mid(eq + 1);
            name = name.left(eq);
            hasValue = true;
        }
        static const QStringList known = {
            QStringLiteral("--colors"),  QStringLiteral("--dither"),
            QStringLiteral("--lossy"),   QStringLiteral("--max-bytes"),
            QStringLiteral("--quality"), QStringLiteral("--palette")};
        if (!known.contains(name)) {
            error = QStringLiteral("unknown option \"%1\"").arg(args[i]);
            return std::nullopt;
        }
        if (!hasValue) {
            if (i + 1 >= args.size()) {
                error = QStringLiteral("%1 needs a value").arg(name);
                return std::nullopt;
            }
            value = args[++i];
        }
        auto bad = [&](const QString& expected) {
            error = QStringLiteral("%1 %2: %3").arg(name, value, expected);
            return std::nullopt;
        };
        if (name == QLatin1String("--colors")) {
            const auto v = number(value, exporting::MinColors, exporting::MaxColors);
            if (!v) return bad(QStringLiteral("expected a number of colours from 2 to 256"));
            s.colors = int(*v);
            gifOnly = true;
            gifOption = name;
        } else if (name == QLatin1String("--dither")) {
            if (value == QLatin1String("none"))
                s.dither = exporting::Dithering::None;
            else if (value == QLatin1String("fs"))
                s.dither = exporting::Dithering::FloydSteinberg;
            else if (value == QLatin1String("ordered"))
                s.dither = exporting::Dithering::Ordered;
            else
                return bad(QStringLiteral("expected none, fs or ordered"));
            gifOnly = true;
            gifOption = name;
        } else if (name == QLatin1String("--palette")) {
            if (value == QLatin1String("frame"))
                s.palette = exporting::PaletteMode::PerFrame;
            else if (value == QLatin1String("global"))
                s.palette = exporting::PaletteMode::Global;
            else
                return bad(QStringLiteral("expected frame or global"));
            gifOnly = true;
            gifOption = name;
        } else if (name == QLatin1String("--lossy")) {
            const auto v = number(value, 0, exporting::MaxLossy);
            if (!v) return bad(QStringLiteral("expected a level from 0 to 200"));
            s.lossy = int(*v);
            gifOnly = true;
            gifOption = name;
        } else if (name == QLatin1String("--max-bytes")) {
            const auto v = number(value, 1, std::numeric_limits<long long>::max());
            if (!v) return bad(QStringLiteral("expected a number of bytes above 0"));
            s.maxBytes = uint64_t(*v);
        } else if (name == QLatin1String("--quality")) {
            const auto v = number(value, 0, 100);
            if (!v) return bad(QStringLiteral("expected a quality from 0 to 100"));
            if (s.format != Format::WebP) {
                error = QStringLiteral("--quality applies to WebP (.webp) only");
                return std::nullopt;
            }
            s.webpLossless = false;
            s.webpQuality = int(*v);
        }
    }
    if (gifOnly && s.format != Format::Gif) {
        error = QStringLiteral("%1 applies to GIF (.gif) only").arg(gifOption);
        return std::nullopt;
    }
    return s;
}

int exportFile(const QString& in, const QString& out, const ExportSettings& settings,
               const Options& options) {
    std::vector<std::string> warnings;
    gif::GifImage image;
    try {
        gif::GifImage loaded;
        loaded.onWarning = [&](const std::string& message) { warnings.push_back(message); };
        exporting::readAnimationFile(loaded, in);
        loaded.onWarning = nullptr;
        image = std::move(loaded);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vorlane-gif-cli: %s: %s\n", qUtf8Printable(in), e.what());
        return ExitFailure;
    }
    for (const std::string& warning : warnings)
        std::fprintf(stderr, "warning: %s: %s\n", qUtf8Printable(in), warning.c_str());
    if (options.strict && !warnings.empty()) {
        std::fprintf(stderr,
                     "vorlane-gif-cli: %s: %zu warning%s, and --strict makes warnings fail\n",
                     qUtf8Printable(in), warnings.size(), warnings.size() == 1 ? "" : "s");
        return ExitFailure;
    }
    exporting::ExportResult result;
    try {
        result = exporting::exportAnimation(image, settings);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "vorlane-gif-cli: %s: out of memory\n", qUtf8Printable(in));
        return ExitFailure;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vorlane-gif-cli: %s: %s\n", qUtf8Printable(in), e.what());
        return ExitFailure;
    }
    try {
        gif::writeFileSafely(out, result.bytes);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vorlane-gif-cli: %s: %s\n", qUtf8Printable(out), e.what());
        return ExitFailure;
    }
    if (settings.maxBytes) {
        const ExportSettings& u = result.used;
        if (u.format == Format::Gif)
            std::fprintf(stderr, "note: %s: %zu bytes with --colors %d --lossy %d\n",
                         qUtf8Printable(out), result.bytes.size(), u.colors, u.lossy);
        else if (u.format == Format::WebP && !u.webpLossless)
            std::fprintf(stderr, "note: %s: %zu bytes with --quality %d\n", qUtf8Printable(out),
                         result.bytes.size(), u.webpQuality);
    }
    return ExitOk;
}

} // namespace vorlane::cli
