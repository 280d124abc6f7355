#pragma once

#include <QByteArrayView>
#include <QTransform>

#include <memory>

namespace picture {

class MetafileCanvas;

// EMF+ records, the antialiased drawing that rides in the comment records of an enhanced
// metafile, played onto the same picture as the classic records.
namespace emfplus {

inline constexpr quint32 Identifier = 0x2B464D45; // "EMF+" at the start of a comment

class Player {
public:
    // Draws with the canvas's painter and spends its work meter. Device pixels of the reference
    // device map onto the picture by `deviceToPicture`, as for the classic records. Objects
    // continued across records may not be larger than `fileBytes`.
    Player(MetafileCanvas &canvas, const QTransform &deviceToPicture, qint64 fileBytes);
    ~Player();
    Player(const Player &) = delete;
    Player &operator=(const Player &) = delete;

    // The EMF+ records of one comment, after its identifier.
    void play(QByteArrayView records);

    // An EMF+ header has been read: the classic records no longer draw, except in a window
    // that a GetDC record opens and the next EMF+ record closes.
    bool seen() const { return m_seen; }
    bool dual() const { return m_dual; }
    bool classicRecordsDraw() const { return !m_seen || m_getDC; }
    // Records whose framing did not hold together (the rest of their comment is skipped).
    bool broken() const { return m_broken; }
    int drawingCount() const { return m_drawings; }

private:
    struct Impl;
    std::unique_ptr<Impl> m;
    bool m_seen = false;
    bool m_dual = false;
    bool m_getDC = false;
    bool m_broken = false;
    int m_drawings = 0;
};

} // namespace emfplus
} // namespace picture
