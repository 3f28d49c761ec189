#include "exif/document_summary.h"

#include "app/path_bytes.h"
#include "app/text_export.h"
#include "exif/image_metadata.h"

#include <QFile>
#include <QStringDecoder>

#include <exiv2/exiv2.hpp>

#include <mutex>

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

QByteArray rawBytes(const Exiv2::Exifdatum &datum, Exiv2::ByteOrder order) {
    const long size = datum.size();
    QByteArray raw(qsizetype(std::max(size, 0L)), '\0');
    if (size > 0)
        datum.copy(reinterpret_cast<Exiv2::byte *>(raw.data()), order);
    return raw;
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

class Reader {
public:
    Reader(Exiv2::Image &image)
        : m_exif(image.exifData()), m_xmp(image.xmpData()),
          m_order(image.byteOrder() == Exiv2::bigEndian ? Exiv2::bigEndian : Exiv2::littleEndian) {}

    QString exif(const char *key) const {
        const auto it = m_exif.findKey(Exiv2::ExifKey(key));
        if (it == m_exif.end())
            return {};
        const QByteArray raw = rawBytes(*it, m_order);
        const std::string name = it->tagName();
        if (name == "XPAuthor" || name == "XPComment")
            return trimmed(utf16(raw, true)); // always UCS-2, little-endian
        if (name == "UserComment")
            return trimmed(userComment(raw, m_order == Exiv2::littleEndian));
        return trimmed(decodeText(raw));
    }

    // Every entry of an XMP list, or the default language of an alternative text.
    QString xmp(const char *key) const {
        const auto it = m_xmp.findKey(Exiv2::XmpKey(key));
        if (it == m_xmp.end())
            return {};
        if (const auto *alt = dynamic_cast<const Exiv2::LangAltValue *>(&it->value())) {
            const auto found = alt->value_.find("x-default");
            if (found != alt->value_.end())
                return trimmed(QString::fromStdString(found->second));
            return alt->value_.empty()
                       ? QString()
                       : trimmed(QString::fromStdString(alt->value_.begin()->second));
        }
        QStringList items;
        for (long i = 0; i < it->count(); ++i) {
            const QString item = trimmed(QString::fromStdString(it->toString(i)));
            if (!item.isEmpty())
                items.append(item);
        }
        return items.join(QStringLiteral("; "));
    }

private:
    Exiv2::ExifData &m_exif;
    Exiv2::XmpData &m_xmp;
    Exiv2::ByteOrder m_order;
};

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
    static std::once_flag quiet;
    std::call_once(quiet, [] { Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute); });
    try {
        // A JPEG's metadata segments, bounded as for the listing, rather than the whole file: a
        // photo built to expand costs the same here as there.
        const QByteArray head = BoundedJpegMetadata(path);
        auto image =
            head.isEmpty()
                ? Exiv2::ImageFactory::open(PathBytes(path).toStdString())
                : Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte *>(head.constData()),
                                            long(head.size()));
        image->readMetadata();
        const Reader read(*image);
        m_author = firstOf({read.exif("Exif.Image.XPAuthor"), read.exif("Exif.Image.Artist"),
                            read.xmp("Xmp.dc.creator")});
        m_comments =
            firstOf({read.exif("Exif.Image.XPComment"), read.exif("Exif.Photo.UserComment"),
                     read.exif("Exif.Image.ImageDescription"), read.xmp("Xmp.dc.description")});
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
