// The check of the bounded_tiff target: BoundTiff, the bounded copy of a JPEG's Exif block.
// The check reads the block with its own few lines, not with the TIFF cursor the copy uses, so
// a fault in the cursor cannot hide itself here.
#include "core/exif/bounded_tiff.h"
#include "core/exif/image_metadata.h"
#include "tests/fuzz/fuzz_checks.h"
#include "tests/fuzz/fuzz_support.h"

#include <QList>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <optional>
#include <sys/mman.h>
#include <unistd.h>

namespace kalmora::fuzz {

namespace {

// --- Reading the block, independently of the code under test ---

struct Block {
    const QByteArray &bytes;
    bool little;

    quint64 size() const { return quint64(bytes.size()); }
    bool has(quint64 at, quint64 count) const { return at <= size() && count <= size() - at; }
    quint64 number(quint64 at, int width) const {
        quint64 v = 0;
        for (int i = 0; i < width; ++i)
            v = v << 8 | quint8(bytes[qsizetype(at + quint64(little ? width - 1 - i : i))]);
        return v;
    }
};

quint64 widthOf(quint16 type) {
    static constexpr quint64 Widths[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
    return type < std::size(Widths) ? Widths[type] : 0;
}

struct Entry {
    quint64 position = 0;
    std::optional<ListedDirectory> directory;
    quint16 tag = 0;
    quint16 type = 0;
    quint64 count = 0;
    quint64 value = 0;

    quint64 bytes() const { return widthOf(type) * count; }
    bool hiddenMakerNote() const { return directory == ListedDirectory::Exif && tag == 0x927C; }
};

// The directories the copy promises to visit, in its order: IFD0 first, then breadth first
// through the Exif, GPS and interoperability pointers, the sub-image lists and the links (IFD0's
// first link is IFD1), each offset once, at most MostBoundedDirectories of them; a directory's
// entries up to the first one that does not lie whole inside, its link only when they all do.
struct Walk {
    QList<Entry> entries;
    QList<std::pair<quint64, quint64>> structure; // every byte range read as structure
    bool complete = true;                         // every directory with all its entries and link
};

Walk walk(const Block &b) {
    Walk w;
    w.structure.append({0, 8});
    struct Pending {
        quint64 offset;
        std::optional<ListedDirectory> directory;
    };
    QList<Pending> queue{{b.number(4, 4), ListedDirectory::Ifd0}};
    QList<quint64> seen;
    while (!queue.isEmpty() && seen.size() < MostBoundedDirectories) {
        const Pending at = queue.takeFirst();
        if (seen.contains(at.offset) || !b.has(at.offset, 2)) {
            w.complete = w.complete && seen.contains(at.offset);
            continue;
        }
        seen.append(at.offset);
        w.structure.append({at.offset, 2});
        const quint64 count = b.number(at.offset, 2);
        quint64 k = 0;
        for (; k < count; ++k) {
            Entry e;
            e.position = at.offset + 2 + 12 * k;
            if (!b.has(e.position, 12))
                break;
            w.structure.append({e.position, 12});
            e.directory = at.directory;
            e.tag = quint16(b.number(e.position, 2));
            e.type = quint16(b.number(e.position + 2, 2));
            e.count = b.number(e.position + 4, 4);
            e.value = b.number(e.position + 8, 4);
            w.entries.append(e);
            if (e.hiddenMakerNote() || e.count == 0)
                continue;
            const bool ifd0 = at.directory == ListedDirectory::Ifd0;
            if (e.tag == 0x8769)
                queue.append({e.value, ifd0 ? std::optional(ListedDirectory::Exif) : std::nullopt});
            else if (e.tag == 0x8825)
                queue.append({e.value, ifd0 ? std::optional(ListedDirectory::Gps) : std::nullopt});
            else if (e.tag == 0xA005)
                queue.append({e.value, at.directory == ListedDirectory::Exif
                                           ? std::optional(ListedDirectory::Interop)
                                           : std::nullopt});
            else if (e.tag == 0x014A) {
                const quint64 list = e.count == 1 ? e.position + 8 : e.value;
                for (quint64 i = 0; i < std::min<quint64>(e.count, MostBoundedDirectories); ++i) {
                    if (!b.has(list + 4 * i, 4))
                        break;
                    if (e.count != 1)
                        w.structure.append({list + 4 * i, 4});
                    queue.append({b.number(list + 4 * i, 4), std::nullopt});
                }
            }
        }
        const quint64 link = at.offset + 2 + 12 * count;
        if (k < count || !b.has(link, 4)) {
            w.complete = false;
            continue;
        }
        w.structure.append({link, 4});
        if (const quint64 next = b.number(link, 4); next != 0)
            queue.append({next, at.directory == ListedDirectory::Ifd0
                                    ? std::optional(ListedDirectory::Ifd1)
                                    : std::nullopt});
    }
    return w;
}

// Whether no byte is read twice as structure: then no change the copy makes to one entry can
// alter what it reads elsewhere, and the input's walk is the copy's.
bool disjoint(QList<std::pair<quint64, quint64>> ranges) {
    std::sort(ranges.begin(), ranges.end());
    for (qsizetype i = 1; i < ranges.size(); ++i) {
        if (ranges[i].first < ranges[i - 1].first + ranges[i - 1].second)
            return false;
    }
    return true;
}

// Where an entry's value lies: inline when it takes at most 4 bytes.
bool valueInside(const Block &b, const Entry &e) {
    return e.bytes() <= 4 || b.has(e.value, e.bytes());
}

// --- Running the copy against unmapped pages ---

// The input's bytes placed right before (or right after) a page that is not mapped, so that a
// read or write one byte outside them faults at once, sanitizer or not.
class GuardedBytes {
public:
    enum class Edge { End, Start };
    GuardedBytes(const QByteArray &bytes, Edge edge) : m_size(size_t(bytes.size())) {
        const size_t page = size_t(::sysconf(_SC_PAGESIZE));
        const size_t span = (m_size + page - 1) / page * page;
        m_length = span + 2 * page;
        void *base =
            ::mmap(nullptr, m_length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (base == MAP_FAILED)
            Fail("cannot map guarded bytes");
        m_base = static_cast<uchar *>(base);
        if (::mprotect(m_base, page, PROT_NONE) != 0 ||
            ::mprotect(m_base + page + span, page, PROT_NONE) != 0)
            Fail("cannot protect guard pages");
        m_data = edge == Edge::End ? m_base + page + span - m_size : m_base + page;
        if (m_size > 0)
            std::memcpy(m_data, bytes.constData(), m_size);
    }
    ~GuardedBytes() { ::munmap(m_base, m_length); }
    GuardedBytes(const GuardedBytes &) = delete;
    GuardedBytes &operator=(const GuardedBytes &) = delete;

    uchar *data() { return m_data; }
    QByteArray bytes() const {
        return QByteArray(reinterpret_cast<const char *>(m_data), qsizetype(m_size));
    }

private:
    size_t m_size;
    size_t m_length = 0;
    uchar *m_base = nullptr;
    uchar *m_data = nullptr;
};

// Names the fault when one comes from the guarded run, where no sanitizer has claimed the signal.
volatile std::sig_atomic_t g_guarded = 0;
void onFault(int signal) {
    if (g_guarded) {
        static const char text[] = "check failed: the copy reached outside the input\n";
        [[maybe_unused]] const ssize_t n = ::write(2, text, sizeof text - 1);
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void nameFaults() {
    static const bool installed = [] {
        for (const int s : {SIGSEGV, SIGBUS}) {
            struct sigaction old {};
            if (::sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_DFL &&
                !(old.sa_flags & SA_SIGINFO))
                std::signal(s, onFault);
        }
        return true;
    }();
    (void)installed;
}

QSet<quint32> boundGuarded(GuardedBytes &bytes, quint64 size) {
    g_guarded = 1;
    QSet<quint32> cut = BoundTiffInPlace(bytes.data(), size);
    g_guarded = 0;
    return cut;
}

// --- The checks ---

void checkGuarded(const QByteArray &input, const BoundedTiff &bounded) {
    nameFaults();
    for (const auto edge : {GuardedBytes::Edge::End, GuardedBytes::Edge::Start}) {
        GuardedBytes guarded(input, edge);
        const QSet<quint32> cut = boundGuarded(guarded, quint64(input.size()));
        if (guarded.bytes() != bounded.tiff || cut != bounded.cut)
            Fail("the copy in place differs from the copy");
    }
}

// BoundedJpegMetadata rebuilds the JPEG's metadata around exactly this copy.
void checkJpeg(const QByteArray &input, const BoundedTiff &bounded) {
    constexpr qsizetype MostPayload = 0xFFFF - 2 - 6;
    if (input.size() > MostPayload)
        return;
    const auto segment = [](const QByteArray &tiff) {
        const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
        const auto length = quint16(payload.size() + 2);
        return QByteArray("\xFF\xE1", 2) + char(length >> 8) + char(length & 0xFF) + payload;
    };
    const QByteArray start("\xFF\xD8", 2), end("\xFF\xD9", 2);
    const QString path = ScratchFolder() + QStringLiteral("/bounded.jpg");
    WriteScratchFile(path, start + segment(input) + end);
    const QByteArray expected =
        start + (input.isEmpty() ? QByteArray() : segment(bounded.tiff)) + end;
    if (BoundedJpegMetadata(path) != expected)
        Fail("BoundedJpegMetadata hands on another copy");
}

void checkBounded(const QByteArray &input) {
    const BoundedTiff bounded = BoundTiff(input);
    const QByteArray &copy = bounded.tiff;
    if (copy.size() != input.size())
        Fail("the copy's length differs", QString::number(copy.size()));
    checkGuarded(input, bounded);
    checkJpeg(input, bounded);

    const bool tiff = input.size() >= 8 && (input.startsWith("II") || input.startsWith("MM"));
    if (!tiff) {
        if (copy != input || !bounded.cut.isEmpty())
            Fail("a block without a TIFF header was changed");
        return;
    }
    if (copy.left(2) != input.left(2))
        Fail("the copy's byte order differs");
    const bool little = input[0] == 'I';
    const Block in{input, little}, out{copy, little};
    const Walk before = walk(in);
    // Where structures share bytes, a change to one entry may move what the walk reads next:
    // only the checks above hold for any input.
    if (!disjoint(before.structure))
        return;

    // The same directories and entries, at the same places.
    const Walk after = walk(out);
    if (after.entries.size() != before.entries.size())
        Fail("the copy dropped or added entries");
    QList<bool> changeExplained(input.size(), false);
    quint64 used = 0;   // the kept bytes of the long values walked so far
    quint64 beyond = 0; // their bytes beyond ShortValueBytes each
    QSet<quint32> cut;
    for (qsizetype i = 0; i < before.entries.size(); ++i) {
        const Entry &was = before.entries[i];
        const Entry &now = after.entries[i];
        const QString where = QStringLiteral("entry at %1 tag %2").arg(was.position).arg(was.tag);
        if (now.position != was.position || now.directory != was.directory ||
            now.type != was.type || now.value != was.value)
            Fail("the copy moved an entry or changed its type or value field", where);
        if (valueInside(in, was) && !valueInside(out, now))
            Fail("an entry points outside the copy", where);
        if (was.hiddenMakerNote()) {
            if (now.tag != HiddenMakerNoteTag || now.count != was.count)
                Fail("the maker note is not hidden as it should be", where);
            changeExplained[qsizetype(was.position)] =
                changeExplained[qsizetype(was.position + 1)] = true;
            continue;
        }
        if (now.tag != was.tag)
            Fail("the copy changed a tag", where);
        const quint64 width = widthOf(was.type);
        const quint64 bytes = was.bytes();
        if (bytes <= 4) {
            if (now.count != was.count)
                Fail("the copy changed an inline value's count", where);
            continue;
        }
        // The promise: a value of at most ShortValueBytes whole; a longer one up to
        // MetadataFieldBytes and what is left of MetadataPhotoBytes, but never less than
        // ShortValueBytes; whole components only.
        const quint64 left =
            quint64(MetadataPhotoBytes) - std::min(used, quint64(MetadataPhotoBytes));
        const quint64 allowed =
            bytes <= ShortValueBytes
                ? bytes
                : std::min({bytes, quint64(MetadataFieldBytes), std::max(left, ShortValueBytes)});
        if (now.count != allowed / width)
            Fail(now.count < was.count ? "the copy cut a value it should keep"
                                       : "the copy kept more of a value than it should",
                 where + QStringLiteral(": %1 of %2").arg(now.count).arg(was.count));
        if (now.count < was.count) {
            for (quint64 p = was.position + 4; p < was.position + 8; ++p)
                changeExplained[qsizetype(p)] = true;
            if (was.directory)
                cut.insert(ListedKey(*was.directory, was.tag));
        }
        used += now.bytes();
        beyond += now.bytes() - std::min(now.bytes(), ShortValueBytes);
    }
    if (beyond > quint64(MetadataPhotoBytes))
        Fail("the long values together exceed the photo's budget", QString::number(beyond));
    if (cut != bounded.cut)
        Fail("the cut entries named differ from the entries cut");
    for (qsizetype i = 0; i < input.size(); ++i) {
        if (copy[i] != input[i] && !changeExplained[i])
            Fail("the copy changed a byte outside the counts it cut", QString::number(i));
    }
    // A well-formed block gives a well-formed copy: every directory whole, every value inside.
    const auto wellFormed = [](const Block &b, const Walk &w) {
        return w.complete && std::all_of(w.entries.begin(), w.entries.end(),
                                         [&b](const Entry &e) { return valueInside(b, e); });
    };
    if (wellFormed(in, before) && !wellFormed(out, after))
        Fail("a well-formed block gave a copy that is not");
}

} // namespace

void CheckBoundedTiff(const QByteArray &input) {
    checkBounded(input);
}

} // namespace kalmora::fuzz
