#pragma once

#include "picture/metafile/metafile_canvas.h"

#include <QByteArrayView>
#include <QString>

// The record walk both metafile players share, and their one rule for a file whose records
// break off.
namespace picture::metafile {

// A walk ends after this many records, whatever follows.
inline constexpr quint32 MaxRecords = 4'000'000;

// A record's type and its length in bytes, header included, as its header states them.
struct RecordHeader {
    quint32 type = 0;
    quint64 bytes = 0;
};

// How a format frames its records.
struct RecordLayout {
    qsizetype headerBytes = 0; // the bytes before a record's parameters
    quint32 endType = 0;       // the record that ends the file
    // Reads the header from its `headerBytes` bytes; a length the format cannot have is given
    // as 0.
    RecordHeader (*readHeader)(QByteArrayView header) = nullptr;
};

// Where a walk starts, and how it ended.
struct Walk {
    qsizetype start = 0; // where the file's records begin
    qsizetype at = 0;    // the next record; after the walk, the record that ended it
    quint32 records = 0; // records passed, counting one that lied inside
    bool lied = false;   // a record reached past the file's end, or past its own
};

enum class Visited { Next, Stop, Lied };

// Visits the records from `walk.at` on: `visit(type, record)` gets each whole record, header
// included, and says whether to go on. The walk ends at the end record, at the end of the data,
// after MaxRecords, where a record's stated length is impossible or reaches past the data, or
// where the visitor says so.
template <typename Visit>
Walk walkRecords(QByteArrayView data, Walk walk, const RecordLayout &layout, Visit &&visit) {
    while (walk.at + layout.headerBytes <= data.size() && walk.records < MaxRecords) {
        const RecordHeader header = layout.readHeader(data.sliced(walk.at, layout.headerBytes));
        if (header.bytes < quint64(layout.headerBytes) ||
            header.bytes > quint64(data.size() - walk.at)) {
            walk.lied = true;
            break;
        }
        if (header.type == layout.endType)
            break;
        ++walk.records;
        const Visited visited = visit(header.type, data.sliced(walk.at, qsizetype(header.bytes)));
        if (visited != Visited::Next) {
            walk.lied = visited == Visited::Lied;
            break;
        }
        walk.at += qsizetype(header.bytes);
    }
    return walk;
}

// Plays the records onto `canvas`: `play(type, record)` returns false for a record whose
// contents lie. Playback ends, keeping what is drawn, also where the canvas's work runs out.
template <typename Play>
Walk playRecords(QByteArrayView data, Walk walk, const RecordLayout &layout,
                 const MetafileCanvas &canvas, Play &&play) {
    return walkRecords(data, walk, layout, [&](quint32 type, QByteArrayView record) {
        if (!play(type, record))
            return Visited::Lied;
        return canvas.exhausted() ? Visited::Stop : Visited::Next;
    });
}

// What a record family made of a record: not one of its records, played, or found lying.
enum class Played { NotMine, Done, Lied };

inline Played played(bool sound) {
    return sound ? Played::Done : Played::Lied;
}

// The one rule for a broken file, a record chain that lies before its end record: the picture
// drawn up to the lying record stands when the records before it are most of the file, by
// bytes or by the count of records its header states (`claimedRecords`, 0 when it states none).
// Otherwise the file is refused: as cut short when not one record came before the lie, else as
// corrupt. Returns that reason, or nothing when the picture stands.
QString brokenFileError(const Walk &walk, qsizetype fileBytes, quint32 claimedRecords = 0);

} // namespace picture::metafile
