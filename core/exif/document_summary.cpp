#include "core/exif/document_summary.h"

#include "core/base/path_bytes.h"
#include "core/base/text_export.h"
#include "core/exif/image_metadata.h"
#include "core/exif/metadata_library.h"

#include <QFile>
#include <QStringDecoder>

namespace kalmora {

namespace {

// Blanks, line ends and the NULs that fixed-size fields are padded with.
QString trimmed(QString text) {
    while (!text.isEmpty() && (text.back().isSpace() || text.back() == QChar(0)))
        text.chop(1);
    while (!text.isEmpty() && (text.front().isSpace() || text.front() == QChar(0)))
        text.remove(0, 1);
    return text;
}

// Text fields hold UTF-8 when today's tools wrote them, the Chinese code page when older
// Windows tools did.
QString decodeText(const QByteArray &bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    return DecodeGb18030(bytes).value_or(QString::fromLatin1(bytes));
}

QString utf16(const QByteArray &bytes, bool little) {
    QStringDecoder decoder(little ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
    return decoder(bytes);
}

// A user comment starts with eight bytes naming its character set.
QString userComment(const QByteArray &raw, bool little) {
    const QByteArray charset = raw.left(8);
    const QByteArray body = raw.mid(8);
    if (charset.startsWith("UNICODE")) {
        if (body.startsWith("\xFF\xFE") || body.startsWith("\xFE\xFF"))
            return utf16(body.mid(2), body.startsWith("\xFF\xFE"));
        return utf16(body, little);
    }
    if (charset.startsWith("JIS"))
        return QStringDecoder("ISO-2022-JP")(body);
    return decodeText(body);
}

// The Exif and XMP keys the summary reads, in the order of their texts below.
const std::vector<std::string> ExifKeys = {"Exif.Image.XPAuthor", "Exif.Image.Artist",
                                           "Exif.Image.XPComment", "Exif.Photo.UserComment",
                                           "Exif.Image.ImageDescription"};
const std::vector<std::string> XmpKeys = {"Xmp.dc.creator", "Xmp.dc.description"};

QString exifText(const std::optional<DecodedExifEntry> &entry, bool little) {
    if (!entry)
        return {};
    if (entry->tagName == "XPAuthor" || entry->tagName == "XPComment")
        return trimmed(utf16(entry->raw, true)); // always UCS-2, little-endian
    if (entry->tagName == "UserComment")
        return trimmed(userComment(entry->raw, little));
    return trimmed(decodeText(entry->raw));
}

// Every entry of an XMP list, or the default language of an alternative text.
QString xmpText(const std::optional<std::vector<std::string>> &texts) {
    if (!texts)
        return {};
    QStringList items;
    for (const std::string &text : *texts) {
        const QString item = trimmed(QString::fromStdString(text));
        if (!item.isEmpty())
            items.append(item);
    }
    return items.join(QStringLiteral("; "));
}

QString firstOf(std::initializer_list<QString> texts) {
    for (const QString &text : texts) {
        if (!text.isEmpty())
            return text;
    }
    return {};
}

} // namespace

bool DocumentSummary::open(const QString &path) {
    close();
    try {
        // A JPEG's metadata segments, bounded as for the listing, rather than the whole file: a
        // photo built to expand costs the same here as there.
        const QByteArray head = BoundedJpegMetadata(path);
        const DecodedSummary read = RequiredMetadataLibrary().readSummary(
            head, PathBytes(path).toStdString(), ExifKeys, XmpKeys);
        const auto exif = [&](int i) {
            return exifText(read.exif.at(size_t(i)), read.littleEndian);
        };
        m_author = firstOf({exif(0), exif(1), xmpText(read.xmp.at(0))});
        m_comments = firstOf({exif(2), exif(3), exif(4), xmpText(read.xmp.at(1))});
        return true;
    } catch (const std::exception &) {
        close();
        return false;
    }
}

void DocumentSummary::close() {
    m_author.clear();
    m_comments.clear();
}

} // namespace kalmora
