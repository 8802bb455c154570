// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Operations.h"

#include <QRegularExpression>

namespace vorlane::cli {

using namespace vorlane::tools;

namespace {

template <typename... Ts> struct Overloaded : Ts... { using Ts::operator()...; };
template <typename... Ts> Overloaded(Ts...) -> Overloaded<Ts...>;

// Whole-string matches of unsigned decimal numbers, so that "+5", " 5" or "5px" are
// refused rather than read as 5.
bool matchNumbers(const QString& text, const QString& pattern, std::vector<long long>& numbers) {
    const QRegularExpression expression(QStringLiteral("^") + pattern + QStringLiteral("$"));
    const QRegularExpressionMatch match = expression.match(text);
    if (!match.hasMatch()) return false;
    numbers.clear();
    for (int k = 1; k <= match.lastCapturedIndex(); ++k) {
        // At most 9 digits each (the pattern says so), so no overflow.
        numbers.push_back(match.captured(k).toLongLong());
    }
    return true;
}

const QString Number = QStringLiteral("([0-9]{1,9})");

} // namespace

std::optional<std::vector<Operation>> parseOperations(const QStringList& args, QString& error) {
    std::vector<Operation> operations;
    std::optional<ResizeFilter> filter;
    for (qsizetype k = 0; k < args.size(); ++k) {
        QString name = args[k];
        std::optional<QString> value;
        if (const qsizetype eq = name.indexOf(QLatin1Char('='));
            name.startsWith(QLatin1String("--")) && eq > 0) {
            value = name.mid(eq + 1);
            name = name.left(eq);
        }
        auto needsValue = [&]() -> std::optional<QString> {
            if (value) return value;
            if (k + 1 < args.size()) return args[++k];
            error = name + QStringLiteral(" needs a value");
            return std::nullopt;
        };
        auto bad = [&](const QString& v, const char* expected) {
            error = QStringLiteral("%1 %2: expected %3").arg(name, v, QLatin1String(expected));
            return std::nullopt;
        };
        auto noValue = [&]() {
            if (!value) return true;
            error = name + QStringLiteral(" takes no value");
            return false;
        };
        std::vector<long long> n;

        if (name == QLatin1String("--resize")) {
            const auto v = needsValue();
            if (!v) return std::nullopt;
            if (!matchNumbers(*v, Number + QStringLiteral("x") + Number, n) || n[0] > 65535 ||
                n[1] > 65535 || (n[0] == 0 && n[1] == 0))
                return bad(*v, "WIDTHxHEIGHT, each 0 to 65535 (0: as the other side scales), "
                               "not both 0");
            operations.push_back(op::Resize{int(n[0]), int(n[1]), false, ResizeFilter::Auto});
        } else if (name == QLatin1String("--scale")) {
            const auto v = needsValue();
            if (!v) return std::nullopt;
            bool ok = false;
            const double percent = v->toDouble(&ok);
            static const QRegularExpression decimal(QStringLiteral("^[0-9]{1,6}(\\.[0-9]{1,6})?$"));
            if (!ok || !decimal.match(*v).hasMatch() || !(percent > 0))
                return bad(*v, "a percentage above 0");
            operations.push_back(op::Scale{percent, ResizeFilter::Auto});
        } else if (name == QLatin1String("--crop")) {
            const auto v = needsValue();
            if (!v) return std::nullopt;
            if (!matchNumbers(*v,
                              Number + QStringLiteral(",") + Number + QStringLiteral(",") + Number +
                                  QStringLiteral("x") + Number,
                              n) ||
                n[0] > 65535 || n[1] > 65535 || n[2] < 1 || n[3] < 1 || n[2] > 65535 ||
                n[3] > 65535)
                return bad(*v, "X,Y,WIDTHxHEIGHT with a width and height of 1 or more");
            operations.push_back(op::Crop{QRect(int(n[0]), int(n[1]), int(n[2]), int(n[3]))});
        } else if (name == QLatin1String("--autocrop")) {
            if (!noValue()) return std::nullopt;
            operations.push_back(op::AutoCrop{});
        } else if (name == QLatin1String("--rotate")) {
            const auto v = needsValue();
            if (!v) return std::nullopt;
            if (*v == QLatin1String("90"))
                operations.push_back(op::Rotate{Rotation::Quarter});
            else if (*v == QLatin1String("180"))
                operations.push_back(op::Rotate{Rotation::Half});
            else if (*v == QLatin1String("270"))
                operations.push_back(op::Rotate{Rotation::ThreeQuarters});
            else
                return bad(*v, "90, 180 or 270 (degrees clockwise)");
        } else if (name == QLatin1String("--flip")) {
            const auto v = needsValue();
            if (!v) return std::nullopt;
            if (*v == QLatin1String("h") || *v == QLatin1String("horizontal"))
                operations.push_back(op::Flip{FlipDirection::Horizontal});
            else if (*v == QLatin1String("v") || *v == QLatin1String("vertical"))
                operations.push_back(op::Flip{FlipDirection::Vertical});
            else
                return bad(*v, "h (left and right change places) or v (top and bottom)");
        } else if (name == QLatin1String("--reverse")) {
            if (!noValue()) return std::nullopt;
            operations.push_back(op::Reverse{});
        } else if (name == QLatin1String("--yoyo")) {
            if (!noValue()) return std::nullopt;
            operations.push_back(op::Yoyo{});
        } else if (name == QLatin1String("--keep-every")) {
            const auto v = needsValue();
            if (!v) return std::nullopt;
            if (!matchNumbers(*v, Number, n) || n[0] < 1 || n[0] > 100000)
                return bad(*v, "a whole number from 1 to 100000");
            operations.push_back(op::KeepEvery{int(n[0]), std::nullopt});
        } else if (name == QLatin1String("--dedupe")) {
            if (!noValue()) return std::nullopt;
            operations.push_back(op::Dedupe{});
        } else if (name == QLatin1String("--speed")) {
            const auto v = needsValue();
            if (!v) return std::nullopt;
            if (!matchNumbers(*v, Number, n) || n[0] < 1 || n[0] > 100000)
                return bad(*v, "a whole percentage from 1 to 100000 (200: twice as fast)");
            operations.push_back(op::Speed{int(n[0]), std::nullopt});
        } else if (name == QLatin1String("--delay")) {
            const auto v = needsValue();
            if (!v) return std::nullopt;
            if (!matchNumbers(*v, Number, n) || n[0] > 65535)
                return bad(*v, "hundredths of a second, 0 to 65535");
            operations.push_back(op::Delay{int(n[0]), std::nullopt});
        } else if (name == QLatin1String("--filter")) {
            const auto v = needsValue();
            if (!v) return std::nullopt;
            if (filter) {
                error = QStringLiteral("--filter given twice");
                return std::nullopt;
            }
            filter = filterNamed(v->toStdString());
            if (!filter) return bad(*v, "auto, nearest, area, bicubic or lanczos");
        } else {
            error = QStringLiteral("unknown operation \"%1\"").arg(args[k]);
            return std::nullopt;
        }
    }
    if (operations.empty()) {
        error = QStringLiteral("edit needs at least one operation");
        return std::nullopt;
    }
    if (filter)
        for (Operation& operation : operations) {
            if (auto* r = std::get_if<op::Resize>(&operation)) r->filter = *filter;
            if (auto* s = std::get_if<op::Scale>(&operation)) s->filter = *filter;
        }
    return operations;
}

QString operationText(const Operation& operation) {
    return std::visit(
        Overloaded{
            [](const op::Resize& o) {
                return QStringLiteral("--resize %1x%2").arg(o.width).arg(o.height);
            },
            [](const op::Scale& o) { return QStringLiteral("--scale %1").arg(o.percent); },
            [](const op::Crop& o) {
                return QStringLiteral("--crop %1,%2,%3x%4")
                    .arg(o.rect.x())
                    .arg(o.rect.y())
                    .arg(o.rect.width())
                    .arg(o.rect.height());
            },
            [](const op::AutoCrop&) { return QStringLiteral("--autocrop"); },
            [](const op::Rotate& o) { return QStringLiteral("--rotate %1").arg(int(o.rotation)); },
            [](const op::Flip& o) {
                return QStringLiteral("--flip %1")
                    .arg(o.direction == FlipDirection::Horizontal ? QLatin1Char('h')
                                                                  : QLatin1Char('v'));
            },
            [](const op::Reverse&) { return QStringLiteral("--reverse"); },
            [](const op::Yoyo&) { return QStringLiteral("--yoyo"); },
            [](const op::KeepEvery& o) { return QStringLiteral("--keep-every %1").arg(o.n); },
            [](const op::Dedupe&) { return QStringLiteral("--dedupe"); },
            [](const op::Speed& o) { return QStringLiteral("--speed %1").arg(o.percent); },
            [](const op::Delay& o) { return QStringLiteral("--delay %1").arg(o.delay); },
        },
        operation);
}

} // namespace vorlane::cli
