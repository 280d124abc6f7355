#include "picture/metafile/metafile_records.h"

#include "picture/picture_errors.h"

namespace picture::metafile {

QString brokenFileError(const Walk &walk, qsizetype fileBytes, quint32 claimedRecords) {
    if (!walk.lied)
        return {};
    const bool mostBytes = (walk.at - walk.start) * 2 > fileBytes - walk.start;
    const bool mostRecords = claimedRecords > 0 && quint64(walk.records) * 2 > claimedRecords;
    if (mostBytes || mostRecords)
        return {};
    return walk.records == 0 ? errors::truncated() : errors::corrupt();
}

} // namespace picture::metafile
