#include "Mp4FreeformTags.h"

#include "ExportFailure.h"
#include "FileDescriptor.h"
#include "Logging.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <optional>

namespace {

// The movie box of an audio file is small; more than this is not a file we wrote.
constexpr qint64 largestMovieBox = 256 << 20;
constexpr qint64 copyChunk = 1 << 20;

quint64 readBigEndian(const char* bytes, int count) {
    quint64 value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 8 | quint8(bytes[i]);
    return value;
}

void writeBigEndian(char* bytes, int count, quint64 value) {
    for (int i = count - 1; i >= 0; --i, value >>= 8)
        bytes[i] = char(value & 0xff);
}

QByteArray bigEndian32(quint32 value) {
    QByteArray bytes(4, '\0');
    writeBigEndian(bytes.data(), 4, value);
    return bytes;
}

QByteArray box(const char* type, const QByteArray& content) {
    return bigEndian32(quint32(8 + content.size())) + QByteArray(type, 4) + content;
}

// One "----" item: who names it, its name, and its value as UTF-8 text (data type 1).
QByteArray freeformItem(const QByteArray& name, const QString& value) {
    const QByteArray noFlags(4, '\0');
    return box("----", box("mean", noFlags + "com.apple.iTunes") + box("name", noFlags + name) +
                           box("data", bigEndian32(1) + bigEndian32(0) + value.toUtf8()));
}

struct Box {
    qint64 offset = 0; // of its header
    qint64 size = 0;   // header included
    QByteArray type;
};

// The box of `type` among the 32-bit sized boxes in [from, to) of `data`.
std::optional<Box> childOf(const QByteArray& data, qint64 from, qint64 to, const char* type) {
    while (from + 8 <= to) {
        const auto size = qint64(readBigEndian(data.constData() + from, 4));
        if (size < 8 || from + size > to)
            return std::nullopt;
        if (data.mid(from + 4, 4) == type)
            return Box{from, size, QByteArray(type)};
        from += size;
    }
    return std::nullopt;
}

std::optional<Box> childOf(const QByteArray& data, const Box& parent, const char* type) {
    // The meta box has a version and flags before its children.
    const qint64 header = parent.type == "meta" ? 12 : 8;
    return childOf(data, parent.offset + header, parent.offset + parent.size, type);
}

// Moves every chunk offset of every track by `delta`; false when one would pass its width.
bool moveChunkOffsets(QByteArray& movie, qint64 delta) {
    qint64 from = 8;
    while (const std::optional<Box> track = childOf(movie, from, movie.size(), "trak")) {
        from = track->offset + track->size;
        std::optional<Box> table = childOf(movie, *track, "mdia");
        for (const char* type : {"minf", "stbl"})
            if (table)
                table = childOf(movie, *table, type);
        if (!table)
            continue;
        for (const auto& [type, width] : {std::pair{"stco", 4}, std::pair{"co64", 8}}) {
            const std::optional<Box> offsets = childOf(movie, *table, type);
            if (!offsets || offsets->size < 16)
                continue;
            char* entries = movie.data() + offsets->offset + 16;
            const auto count = qint64(readBigEndian(entries - 4, 4));
            if (16 + count * width > offsets->size)
                return false;
            const quint64 limit = width == 4 ? std::numeric_limits<quint32>::max()
                                             : std::numeric_limits<quint64>::max() / 2;
            for (qint64 i = 0; i < count; ++i) {
                const quint64 moved = readBigEndian(entries + i * width, width) + quint64(delta);
                if (moved > limit)
                    return false;
                writeBigEndian(entries + i * width, width, moved);
            }
        }
    }
    return true;
}

void readExactly(int descriptor, char* into, qint64 size, qint64 at) {
    while (size > 0) {
        const ssize_t got = ::pread(descriptor, into, size_t(size), at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            throw got < 0 ? ExportFailure::fromErrno(errno) : ExportFailure::fromErrno(EIO);
        into += got, size -= got, at += got;
    }
}

void writeExactly(int descriptor, const char* from, qint64 size, qint64 at) {
    while (size > 0) {
        const ssize_t put = ::pwrite(descriptor, from, size_t(size), at);
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0)
            throw ExportFailure::fromErrno(errno);
        from += put, size -= put, at += put;
    }
}

// The file's top-level movie box (32-bit sized) and whether media data comes after it.
struct Layout {
    Box movie;
    bool mediaAfterMovie = false;
};

std::optional<Layout> layoutOf(int descriptor, qint64 fileSize) {
    std::optional<Box> movie;
    bool mediaAfterMovie = false;
    for (qint64 at = 0; at + 8 <= fileSize;) {
        char header[16];
        readExactly(descriptor, header, 8, at);
        qint64 size = qint64(readBigEndian(header, 4));
        const QByteArray type(header + 4, 4);
        if (size == 1 && at + 16 <= fileSize) {
            readExactly(descriptor, header + 8, 8, at + 8);
            size = qint64(readBigEndian(header + 8, 8));
        } else if (size == 0) {
            size = fileSize - at;
        }
        if (size < 8 || at + size > fileSize)
            return std::nullopt;
        if (type == "moov" && readBigEndian(header, 4) != 1)
            movie = Box{at, size, type};
        else if (type == "mdat" && movie)
            mediaAfterMovie = true;
        at += size;
    }
    if (!movie || movie->size > largestMovieBox)
        return std::nullopt;
    return Layout{*movie, mediaAfterMovie};
}

} // namespace

bool addFreeformTags(const QString& path, const FreeformTags& tags) {
    if (tags.empty())
        return true;
    const FileDescriptor file(::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC));
    if (!file.isValid())
        throw ExportFailure::fromErrno(errno);
    const auto fileSize = qint64(::lseek(file.get(), 0, SEEK_END));
    if (fileSize < 0)
        throw ExportFailure::fromErrno(errno);
    const std::optional<Layout> layout = layoutOf(file.get(), fileSize);
    if (!layout) {
        qCWarning(lcExport) << "No movie box to add the gain tags to";
        return false;
    }
    QByteArray movie(layout->movie.size, Qt::Uninitialized);
    readExactly(file.get(), movie.data(), movie.size(), layout->movie.offset);

    QByteArray items;
    for (const auto& [name, value] : tags)
        items += freeformItem(name, value);
    // The boxes that hold the item list, outermost first; each grows by the items.
    std::vector<Box> holders{{0, movie.size(), "moov"}};
    for (const char* type : {"udta", "meta", "ilst"}) {
        const std::optional<Box> inner = childOf(movie, holders.back(), type);
        if (!inner) {
            qCWarning(lcExport) << "No item list to add the gain tags to";
            return false;
        }
        holders.push_back(*inner);
    }
    if (layout->mediaAfterMovie && !moveChunkOffsets(movie, items.size())) {
        qCWarning(lcExport) << "Chunk offsets too large to add the gain tags";
        return false;
    }
    for (const Box& holder : holders)
        writeBigEndian(movie.data() + holder.offset, 4, quint64(holder.size + items.size()));
    movie.insert(holders.back().offset + holders.back().size, items);

    // What follows the movie box moves on by the items' size, last piece first.
    const qint64 tailStart = layout->movie.offset + layout->movie.size;
    QByteArray buffer(copyChunk, Qt::Uninitialized);
    for (qint64 end = fileSize; end > tailStart;) {
        const qint64 piece = std::min(copyChunk, end - tailStart);
        end -= piece;
        readExactly(file.get(), buffer.data(), piece, end);
        writeExactly(file.get(), buffer.constData(), piece, end + items.size());
    }
    writeExactly(file.get(), movie.constData(), movie.size(), layout->movie.offset);
    qCInfo(lcExport) << "Added" << tags.size() << "free-form tags to the movie box";
    return true;
}
