// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The frames of the animation as a list model: one row per frame, labelled
// "#001: name", with its delay and a thumbnail made on demand. The strip, the slider and
// the commands share it and one selection model over it (the window's), so that the
// current frame and the selected frames follow inserts, removals and moves by
// themselves.

#include <cstdint>
#include <list>
#include <memory>
#include <unordered_map>

#include <QAbstractListModel>
#include <QImage>

#include "codec/GifTypes.h"

namespace vorlane {

class AnimationModel;

class FrameListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { DelayRole = Qt::UserRole + 1 };
    // Thumbnails kept at most, in bytes of their pixels; the least recently used go.
    static constexpr qint64 ThumbnailBudget = qint64(16) << 20;

    explicit FrameListModel(AnimationModel& animation, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // "001" .. "099", "100", "1000": the number of the entry about to be appended to a
    // list of `entries` entries.
    static QString NextIndex(int entries);
    // "#" + number + ": " + animation name.
    QString label(int row) const;

    // The frame's own picture (shares the frame's pixels).
    QImage picture(int row) const;
    // Frame `row` at `size` (nearest neighbour, so that pixels stay pixels), transparent
    // where the frame is, rendered at `devicePixelRatio` device pixels per pixel for
    // sharp screens. Made once and kept while the frame is unchanged.
    QImage thumbnail(int row, QSize size, qreal devicePixelRatio = 1.0) const;
    // Bytes of the thumbnails kept.
    qint64 thumbnailBytes() const { return m_cacheBytes; }

private:
    struct Key {
        const gif::Bytes* pixels;
        size_t colors; // hash of the colour table and the transparent index
        uint32_t size; // width << 16 | height
        uint32_t ratio;
        friend bool operator==(const Key&, const Key&) = default;
    };
    struct KeyHash {
        size_t operator()(const Key& k) const;
    };
    struct Entry {
        Key key;
        // The pixels the thumbnail was made from; a buffer freed and another one made at
        // the same address must not find this thumbnail.
        std::weak_ptr<const gif::Bytes> source;
        QImage picture;
    };

    Key keyOf(int row, QSize size, qreal ratio) const;

    AnimationModel& m_animation;
    int m_rows = 0;
    mutable std::list<Entry> m_cache; // most recently used first
    mutable std::unordered_map<Key, std::list<Entry>::iterator, KeyHash> m_index;
    mutable qint64 m_cacheBytes = 0;
};

} // namespace vorlane
