// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/FrameListModel.h"

#include <cmath>
#include <cstring>
#include <functional>

#include "document/AnimationModel.h"

namespace vorlane {

namespace {

uint32_t bitsOf(float value) {
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

} // namespace

size_t FrameListModel::KeyHash::operator()(const Key& k) const {
    size_t h = std::hash<const void*>()(k.pixels);
    h ^= k.colors + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    h ^= (size_t(k.size) << 32 | k.ratio) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    return h;
}

FrameListModel::FrameListModel(AnimationModel& animation, QObject* parent)
    : QAbstractListModel(parent), m_animation(animation), m_rows(animation.frameCount()) {
    connect(&animation, &AnimationModel::reset, this, [this] {
        beginResetModel();
        m_rows = m_animation.frameCount();
        endResetModel();
    });
    connect(&animation, &AnimationModel::framesInserted, this, [this](int first, int count) {
        beginInsertRows({}, first, first + count - 1);
        m_rows += count;
        endInsertRows();
    });
    connect(&animation, &AnimationModel::framesRemoved, this, [this](int first, int count) {
        beginRemoveRows({}, first, first + count - 1);
        m_rows -= count;
        endRemoveRows();
    });
    connect(&animation, &AnimationModel::framesMoved, this, [this](const std::vector<int>& order) {
        Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        std::vector<int> newRowOf(order.size());
        for (size_t i = 0; i < order.size(); ++i)
            newRowOf[size_t(order[i])] = int(i);
        const QModelIndexList before = persistentIndexList();
        QModelIndexList after;
        for (const QModelIndex& index : before)
            after << this->index(newRowOf[size_t(index.row())]);
        changePersistentIndexList(before, after);
        Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
        // The labels number the rows.
        if (m_rows > 0) Q_EMIT dataChanged(index(0), index(m_rows - 1), {Qt::DisplayRole});
    });
    connect(&animation, &AnimationModel::framesChanged, this, [this](int first, int last) {
        Q_EMIT dataChanged(index(first), index(last));
    });
    connect(&animation, &AnimationModel::nameChanged, this, [this] {
        if (m_rows > 0) Q_EMIT dataChanged(index(0), index(m_rows - 1), {Qt::DisplayRole});
    });
}

int FrameListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

Qt::ItemFlags FrameListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

QString FrameListModel::NextIndex(int entries) {
    const int k = entries + 1;
    if (k < 10) return QStringLiteral("00") + QString::number(k);
    if (k < 100) return QStringLiteral("0") + QString::number(k);
    return QString::number(k);
}

QString FrameListModel::label(int row) const {
    return QLatin1Char('#') + NextIndex(row) + QStringLiteral(": ") + m_animation.name();
}

QVariant FrameListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows) return {};
    switch (role) {
    case Qt::DisplayRole:
        return label(index.row());
    case DelayRole:
        return m_animation.delay(index.row());
    default:
        return {};
    }
}

QImage FrameListModel::picture(int row) const {
    return row >= 0 && row < m_rows && m_animation.hasImage() ? m_animation.ownPicture(row) : QImage();
}

FrameListModel::Key FrameListModel::keyOf(int row, QSize size, qreal ratio) const {
    const gif::Frame& f = m_animation.frame(row);
    const gif::ColorTable& colors = m_animation.image()->activeColors(size_t(row));
    size_t h = 1469598103934665603ULL;
    for (const gif::Rgb& c : colors)
        h = (h ^ (size_t(c.r) << 16 | size_t(c.g) << 8 | c.b)) * 1099511628211ULL;
    const gif::GraphicControl* control = f.graphicControl();
    const int transparent = control && control->transparent ? control->transparentIndex : -1;
    h = (h ^ size_t(transparent + 1)) * 1099511628211ULL;
    return {f.sharedPixels().get(), h, uint32_t(size.width()) << 16 | uint32_t(size.height() & 0xFFFF),
            bitsOf(float(ratio))};
}

QImage FrameListModel::thumbnail(int row, QSize shown, qreal devicePixelRatio) const {
    if (row < 0 || row >= m_rows || !m_animation.hasImage() || shown.isEmpty()) return {};
    const gif::Frame& f = m_animation.frame(row);
    if (!f.hasPixels()) return {};
    const Key key = keyOf(row, shown, devicePixelRatio);
    if (auto found = m_index.find(key); found != m_index.end()) {
        if (found->second->source.lock() == f.sharedPixels()) {
            m_cache.splice(m_cache.begin(), m_cache, found->second);
            return m_cache.front().picture;
        }
        m_cacheBytes -= found->second->picture.sizeInBytes();
        m_cache.erase(found->second);
        m_index.erase(found);
    }

    QImage own = m_animation.ownPicture(row);
    // Transparent where the frame is, so the slot's background shows through.
    if (const gif::GraphicControl* control = f.graphicControl();
        control && control->transparent && control->transparentIndex < own.colorCount()) {
        QList<QRgb> colors = own.colorTable();
        colors[control->transparentIndex] = 0;
        own.setColorTable(colors);
    }
    const QSize size(std::max(1, int(std::lround(shown.width() * devicePixelRatio))),
                     std::max(1, int(std::lround(shown.height() * devicePixelRatio))));
    // Scaled while still 8 bits a pixel, so that only the thumbnail's pixels are
    // converted.
    QImage picture = (size == own.size() ? own
                                         : own.scaled(size, Qt::IgnoreAspectRatio,
                                                      Qt::FastTransformation))
                         .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    picture.setDevicePixelRatio(devicePixelRatio);

    m_cache.push_front({key, f.sharedPixels(), picture});
    m_index[key] = m_cache.begin();
    m_cacheBytes += picture.sizeInBytes();
    while (m_cacheBytes > ThumbnailBudget && m_cache.size() > 1) {
        m_cacheBytes -= m_cache.back().picture.sizeInBytes();
        m_index.erase(m_cache.back().key);
        m_cache.pop_back();
    }
    return picture;
}

} // namespace vorlane
