#include "core/filetime/quicktime_dates.h"

#include "core/base/folder_handle.h"

#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace kalmora {

namespace {

// 1904-01-01 to 1970-01-01.
constexpr qint64 From1904 = 2082844800;
// A movie's header box is read whole up to this size; a larger one is no phone's or camera's.
constexpr qint64 MostMovieBytes = qint64(64) << 20;

bool readAt(int fd, qint64 offset, char *into, qint64 count) {
    qint64 done = 0;
    while (done < count) {
        const ssize_t n = ::pread(fd, into + done, size_t(count - done), off_t(offset + done));
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

quint64 big(const QByteArray &b, qint64 at, int width) {
    quint64 v = 0;
    for (int i = 0; i < width; ++i)
        v = v << 8 | quint8(b[qsizetype(at + i)]);
    return v;
}

// The boxes directly inside [from, to) of `b`: type, content start, end.
struct Box {
    QByteArray type;
    qint64 content, end;
};
QList<Box> boxesIn(const QByteArray &b, qint64 from, qint64 to) {
    QList<Box> boxes;
    while (from + 8 <= to) {
        qint64 size = qint64(big(b, from, 4)), content = from + 8;
        if (size == 1) {
            if (from + 16 > to)
                return {};
            size = qint64(big(b, from + 8, 8));
            content += 8;
        } else if (size == 0) {
            size = to - from;
        }
        if (size < content - from || size > to - from)
            return {}; // damaged: nothing from this level is trusted
        boxes.append({b.mid(qsizetype(from + 4), 4), content, from + size});
        from += size;
    }
    return boxes;
}

// A full box's creation and modification dates: version 1 stores 64 bits each, version 0 32.
void datesOf(const QByteArray &b, const Box &box, qint64 fileOffset, QList<QuickTimeDate> &out) {
    if (box.end - box.content < 4)
        return;
    const int width = b[qsizetype(box.content)] == 1 ? 8 : 4;
    const qint64 first = box.content + 4;
    if (first + 2 * width > box.end)
        return;
    for (int k = 0; k < 2; ++k) {
        const qint64 at = first + k * width;
        out.append({fileOffset + at, width, big(b, at, width)});
    }
}

} // namespace

std::optional<QList<QuickTimeDate>> ReadQuickTimeDates(const QString &path) {
    const int fd = OpenToRead(path, O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    std::optional<QList<QuickTimeDate>> result;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        // The top level, header by header: the movie box may follow gigabytes of media data.
        qint64 at = 0;
        const qint64 size = st.st_size;
        while (at + 8 <= size && !result) {
            char head[16];
            if (!readAt(fd, at, head, 8))
                break;
            const QByteArray h(head, 8);
            qint64 boxSize = qint64(big(h, 0, 4)), header = 8;
            if (boxSize == 1) {
                if (!readAt(fd, at + 8, head + 8, 8))
                    break;
                boxSize = qint64(big(QByteArray(head, 16), 8, 8));
                header = 16;
            } else if (boxSize == 0) {
                boxSize = size - at;
            }
            if (boxSize < header || boxSize > size - at)
                break;
            const QByteArray type = h.mid(4, 4);
            if (at == 0 && type != "ftyp" && type != "moov" && type != "wide" && type != "mdat")
                break; // no movie
            if (type == "moov") {
                if (boxSize > MostMovieBytes)
                    break;
                QByteArray moov(qsizetype(boxSize), Qt::Uninitialized);
                if (!readAt(fd, at, moov.data(), boxSize))
                    break;
                QList<QuickTimeDate> dates;
                for (const Box &b : boxesIn(moov, header, boxSize)) {
                    if (b.type == "mvhd")
                        datesOf(moov, b, at, dates);
                    if (b.type != "trak")
                        continue;
                    for (const Box &t : boxesIn(moov, b.content, b.end)) {
                        if (t.type == "tkhd")
                            datesOf(moov, t, at, dates);
                        if (t.type == "mdia")
                            for (const Box &m : boxesIn(moov, t.content, t.end))
                                if (m.type == "mdhd")
                                    datesOf(moov, m, at, dates);
                    }
                }
                if (!dates.isEmpty())
                    result = dates;
            }
            at += boxSize;
        }
    }
    ::close(fd);
    return result;
}

std::optional<QList<BytePatch>> QuickTimeShift(const QList<QuickTimeDate> &dates, qint64 seconds) {
    QList<BytePatch> patches;
    for (const QuickTimeDate &d : dates) {
        if (d.value == 0)
            continue;
        const quint64 most = d.width == 8 ? quint64(std::numeric_limits<qint64>::max())
                                          : quint64(std::numeric_limits<quint32>::max());
        if ((seconds < 0 && d.value <= quint64(-seconds)) ||
            (seconds > 0 && quint64(seconds) > most - d.value))
            return std::nullopt;
        const quint64 moved = d.value + quint64(seconds);
        QByteArray before(d.width, '\0'), after(d.width, '\0');
        for (int i = 0; i < d.width; ++i) {
            before[d.width - 1 - i] = char(d.value >> (8 * i));
            after[d.width - 1 - i] = char(moved >> (8 * i));
        }
        patches.append({d.offset, before, after});
    }
    return patches;
}

std::optional<qint64> QuickTimeMovieCreated(const QList<QuickTimeDate> &dates) {
    if (dates.isEmpty() || dates.first().value == 0)
        return std::nullopt;
    return qint64(dates.first().value) - From1904;
}

} // namespace kalmora
