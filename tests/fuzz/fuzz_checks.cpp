#include "tests/fuzz/fuzz_checks.h"
#include "tests/fuzz/fuzz_support.h"

#include "core/base/date_time.h"
#include "core/exif/exif_reader.h"
#include "core/import/file_list.h"
#include "core/journal/journal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace kalmora::fuzz {

void Fail(const char *what, const QString &detail) {
    std::fprintf(stderr, "check failed: %s %s\n", what, qPrintable(detail));
    std::fflush(stderr);
    std::abort();
}

// One scratch folder per process, in memory where the system offers it: the reader only
// takes paths, and each input is written out twice.
const QString &ScratchFolder() {
    static const std::unique_ptr<QTemporaryDir> dir = [] {
        const QString shm = QStringLiteral("/dev/shm");
        auto d =
            std::make_unique<QTemporaryDir>((QFileInfo(shm).isWritable() ? shm : QDir::tempPath()) +
                                            QStringLiteral("/kalmora-fuzz-XXXXXX"));
        if (!d->isValid())
            Fail("no scratch folder");
        return d;
    }();
    static const QString path = dir->path();
    return path;
}

void WriteScratchFile(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        Fail("cannot write scratch file", path);
}

QByteArray ReadScratchFile(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        Fail("cannot read scratch file", path);
    return f.readAll();
}

namespace {

// --- Exif ---

constexpr int DateTimeOriginal = 36867;
const QString NewDate = QStringLiteral("2001:02:03 04:05:06");

quint32 number(const QByteArray &b, qsizetype at, int size, bool little) {
    quint32 v = 0;
    for (int i = 0; i < size; ++i) {
        const quint32 byte = quint8(b[at + (little ? size - 1 - i : i)]);
        v = v << 8 | byte;
    }
    return v;
}

// Where a date patch may land, found without the reader's walk: the data of any 12 bytes of
// the Exif block that read as an ASCII 36867 entry long enough for the date, inside the APP1
// segment and clear of the entry itself. Every entry the reader can reach is among them.
QList<qsizetype> sitesFrom(const QByteArray &b, qsizetype tiff, qint64 blockEnd) {
    QList<qsizetype> sites;
    const bool little = quint8(b[tiff]) == 0x49;
    const qint64 length = NewDate.size();
    for (qsizetype p = tiff; p + 12 <= b.size(); ++p) {
        if (number(b, p, 2, little) != DateTimeOriginal || number(b, p + 2, 2, little) != 2)
            continue;
        const qint64 count = number(b, p + 4, 4, little);
        const qint64 data = tiff + qint64(number(b, p + 8, 4, little));
        if (count < length || data + count > qint64(b.size()) || data + count > blockEnd)
            continue;
        if (data < p + 12 && p < data + count)
            continue;
        sites.append(qsizetype(data));
    }
    return sites;
}

// The same for a file of another kind: a block may start at any TIFF header in it, or at the
// file's start (a raw's header), and end anywhere up to the file's end.
QList<qsizetype> containerPatchSites(const QByteArray &b) {
    QList<qsizetype> sites;
    for (qsizetype at = 0; at + 8 <= b.size(); ++at) {
        const QByteArray head = b.mid(at, 4);
        if (head == QByteArray("II*\0", 4) || head == QByteArray("MM\0*", 4) || at == 0)
            sites += sitesFrom(b, at, b.size());
    }
    return sites;
}

// The CRCs a patch of a PNG eXIf chunk may rewrite with it: 4 bytes after each such chunk.
QList<qsizetype> checksumSites(const QByteArray &b) {
    QList<qsizetype> sites;
    for (qsizetype at = b.indexOf("eXIf"); at >= 4; at = b.indexOf("eXIf", at + 1))
        sites.append(at + 4 + qsizetype(number(b, at - 4, 4, false)));
    return sites;
}

QList<qsizetype> patchSites(const QByteArray &b) {
    QList<qsizetype> sites;
    if (b.size() < 2 || quint8(b[0]) != 0xFF || quint8(b[1]) != 0xD8)
        return containerPatchSites(b);
    // Without an FF E1 pair the reader looks for "Exif" at the start of the file.
    const qsizetype segment = qMax<qsizetype>(0, b.indexOf(QByteArray("\xFF\xE1", 2), 2));
    if (segment + 10 > b.size() || b.mid(segment + 4, 4) != "Exif")
        return sites;
    const qsizetype tiff = segment + 10;
    if (tiff >= b.size())
        return sites;
    return sitesFrom(b, tiff, segment + 2 + qint64(number(b, segment + 2, 2, false)));
}

const int QueriedTags[] = {0,      DateTimeOriginal, 34665,  37500,  36868,  0x010F, 0x0110,
                           0x0132, 0x0112,           0x829A, 0x9000, 0x9204, 1,      0xFFFF};

QVariant query(ExifReader &reader, int tag, bool &threw) {
    try {
        return reader.tag(tag);
    } catch (const ExifError &) {
        threw = true;
        return {};
    }
}

void checkPatch(const QByteArray &input, const QString &copy) {
    ExifReader patcher;
    try {
        patcher.Load(copy);
    } catch (const ExifError &) {
        // The entries read before the damage stay; a patch may still find the date among them.
    }
    bool patched = false;
    try {
        patched = patcher.setTag(DateTimeOriginal, NewDate);
    } catch (const ExifError &) {
        Fail("a date of plain ASCII was refused as wide");
    }
    const QByteArray after = ReadScratchFile(copy);
    if (after.size() != input.size())
        Fail("the patch changed the file's length");
    QList<qsizetype> changed;
    for (qsizetype i = 0; i < after.size(); ++i) {
        if (after[i] != input[i])
            changed.append(i);
    }
    if (!patched) {
        if (!changed.isEmpty())
            Fail("a refused patch changed the file");
        return;
    }
    const QByteArray text = NewDate.toLatin1();
    for (const qsizetype site : patchSites(input)) {
        if (after.mid(site, text.size()) != text)
            continue;
        const QList<qsizetype> checksums = checksumSites(input);
        const bool inside = std::all_of(changed.begin(), changed.end(), [&](qsizetype i) {
            return (i >= site && i < site + text.size()) ||
                   std::any_of(checksums.begin(), checksums.end(),
                               [i](qsizetype c) { return i >= c && i < c + 4; });
        });
        if (inside)
            return;
    }
    Fail("the patch wrote outside the data of every date entry");
}

void checkExif(const QByteArray &input) {
    const QString original = ScratchFolder() + QStringLiteral("/original.jpg");
    const QString copy = ScratchFolder() + QStringLiteral("/copy.jpg");
    WriteScratchFile(original, input);
    WriteScratchFile(copy, input);

    ExifReader reader;
    bool damaged = false;
    try {
        reader.Load(original);
    } catch (const ExifError &) {
        damaged = true;
    }
    QList<QVariant> answers;
    for (const int tag : QueriedTags) {
        bool threw = false;
        answers.append(query(reader, tag, threw));
        damaged = damaged || threw;
        if (reader.MakerNoteTag(tag).isValid())
            Fail("a maker-note value without a parsed maker note");
    }
    // Every record is a directory entry of 12 bytes: no walk may produce more than fit.
    const QVariant count = answers.first();
    if (count.isValid() && (count.toLongLong() < 1 || count.toLongLong() > input.size() / 12))
        Fail("record count out of range", count.toString());

    // Loading on the first query gives the same answers as an explicit load.
    if (!damaged) {
        ExifReader lazy;
        lazy.setPicFile(original);
        qsizetype i = 0;
        for (const int tag : QueriedTags) {
            bool threw = false;
            const QVariant v = query(lazy, tag, threw);
            if (threw || v != answers.at(i++))
                Fail("a lazy load answers differently for tag", QString::number(tag));
        }
    }

    checkPatch(input, copy);
    if (ReadScratchFile(original) != input)
        Fail("reading changed the file");
}

// --- DateTime ---

void checkDateTime(const QByteArray &input) {
    const QString text = QString::fromUtf8(input);
    const std::optional<DateTime> value = DateTime::parse(text);
    if (DateTime::parse(QLatin1Char(' ') + text + QLatin1Char(' ')) != value)
        Fail("blanks around the text change the value", text);
    if (!value)
        return;
    const DateTime v = *value;
    if (!v.isValid())
        Fail("parse gave an invalid value", text);

    // The numbers of the text, in order: year, month, day and an optional time.
    static const QRegularExpression digits(QStringLiteral("[0-9]+"));
    QList<int> numbers;
    for (auto it = digits.globalMatch(text); it.hasNext();)
        numbers.append(it.next().captured().toInt());
    if (numbers.size() != 3 && numbers.size() != 5 && numbers.size() != 6)
        Fail("a date of an unexpected shape was accepted", text);
    const QList<int> fields{v.year(), v.month(), v.day(), v.hour(), v.minute(), v.second()};
    for (qsizetype i = 0; i < 6; ++i) {
        if (fields[i] != numbers.value(i, 0))
            Fail("a field differs from the text", text);
    }

    QStringList forms{v.toText(), v.toExifText(), v.toGeneralText()};
    if (v.secondsOfDay() == 0)
        forms.append(v.toDateText());
    for (const QString &form : forms) {
        if (DateTime::parse(form) != value)
            Fail("a printed form does not parse back", text + QStringLiteral(" -> ") + form);
    }
    QString fileName = v.toText();
    fileName.replace(13, 1, QLatin1Char('.')).replace(16, 1, QLatin1Char('.'));
    if (v.toFileNameText() != fileName)
        Fail("file-name form differs from the grid form", v.toFileNameText());

    // Calendar steps agree with second steps across the parsed value.
    const qint64 k = qint64(input.size()) * 7919 - 40000;
    if (v.addDays(1) != v.addSeconds(86400) || v.secondsTo(v.addSeconds(k)) != k ||
        v.addSeconds(k).addSeconds(-k) != v)
        Fail("arithmetic disagrees", text);
}

// --- FilePattern ---

// Reference: "*" any run, "?" one character, everything else itself with ASCII case ignored.
bool wildcardMatches(const QString &pattern, const QString &name) {
    const qsizetype m = pattern.size(), n = name.size();
    QList<bool> row(n + 1, false); // row[j]: pattern[0..i) matches name[0..j)
    row[0] = true;
    for (qsizetype i = 0; i < m; ++i) {
        QList<bool> next(n + 1, false);
        const QChar p = pattern[i];
        if (p == QLatin1Char('*'))
            next[0] = row[0];
        for (qsizetype j = 1; j <= n; ++j) {
            if (p == QLatin1Char('*'))
                next[j] = next[j - 1] || row[j];
            else if (p == QLatin1Char('?') || p.toLower() == name[j - 1].toLower())
                next[j] = row[j - 1];
        }
        row = next;
    }
    return row[n];
}

bool plainAscii(const QString &text, const QString &excluded) {
    return std::all_of(text.begin(), text.end(), [&](QChar c) {
        return c.unicode() >= 0x20 && c.unicode() < 0x7F && !excluded.contains(c);
    });
}

QString flipAsciiCase(QString text) {
    for (QChar &c : text) {
        if (c.unicode() < 0x80 && c.isLetter())
            c = c.isUpper() ? c.toLower() : c.toUpper();
    }
    return text;
}

void checkPattern(const QByteArray &input) {
    const qsizetype split = input.indexOf('\n');
    if (split < 0)
        return;
    const QString pattern = QString::fromUtf8(input.left(split));
    const QByteArray nameBytes = input.mid(split + 1);
    // Only what a folder can hold: 1 to 255 bytes, no "/" and no NUL.
    if (nameBytes.isEmpty() || nameBytes.size() > 255 || nameBytes.contains('/') ||
        nameBytes.contains('\0'))
        return;
    const QString name = QString::fromUtf8(nameBytes);

    const FilePattern filter(pattern);
    const bool matched = filter.matches(name);
    // Only for ASCII patterns: a few letters elsewhere (the Turkish dotted and dotless i) have
    // one-way case mappings, where the name's letter case rightly matters.
    if (!plainAscii(pattern, QString()))
        return;
    if (filter.matches(flipAsciiCase(name)) != matched)
        Fail("letter case decides a match", pattern + QStringLiteral(" | ") + name);

    if (!plainAscii(name, QString()))
        return;
    bool expected = false;
    for (const QString &part : pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString p = part.trimmed();
        if (p == QLatin1String("*.*") || p == QLatin1String("*"))
            expected = true;
        else if (!p.isEmpty())
            expected = expected || wildcardMatches(p, name);
    }
    if (matched != expected)
        Fail(matched ? "matched against the wildcard rules" : "missed a match",
             pattern + QStringLiteral(" | ") + name);
}

} // namespace

void CheckExifReader(const QByteArray &input) {
    checkExif(input);
}
void CheckDateTimeParse(const QByteArray &input) {
    checkDateTime(input);
}
void CheckFilePattern(const QByteArray &input) {
    checkPattern(input);
}

void CheckJournalState(const QByteArray &input) {
    const FileState state = DecodeState(input);
    const FileState again = DecodeState(EncodeState(state));
    if (!(again.sameAs(state) && again.access == state.access &&
          again.creationSettable == state.creationSettable && again.mode == state.mode &&
          again.hash == state.hash && again.hash.isNull() == state.hash.isNull()))
        Fail("journal state does not survive its own encoding");
}

Check CheckNamed(const QString &target) {
    if (target == QLatin1String("journal_state"))
        return &CheckJournalState;
    if (target == QLatin1String("exif_reader"))
        return &CheckExifReader;
    if (target == QLatin1String("date_time"))
        return &CheckDateTimeParse;
    if (target == QLatin1String("file_pattern"))
        return &CheckFilePattern;
    if (target == QLatin1String("bounded_tiff"))
        return &CheckBoundedTiff;
    return nullptr;
}

} // namespace kalmora::fuzz
