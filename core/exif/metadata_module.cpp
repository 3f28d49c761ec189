// The module that holds the photo metadata library (see metadata_library.h). Programs load it
// with dlopen; it is the only code that includes the library's headers.
#include "core/exif/metadata_library.h"

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <memory>
#include <mutex>

namespace kalmora {
namespace {

// Once per process: no messages on standard error, and HEIC, HEIF, AVIF and CR3 (ISO media
// files, which the library reads only when asked to) read like the other photos.
void quiet() {
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
#ifdef EXV_ENABLE_BMFF
        Exiv2::enableBMFF(true);
#endif
    });
}

// The order an entry's value bytes are copied in: the block's, little-endian when it has none.
Exiv2::ByteOrder plainOrder(Exiv2::ByteOrder order) {
    return order == Exiv2::bigEndian ? Exiv2::bigEndian : Exiv2::littleEndian;
}

DecodedExifEntry entryOf(const Exiv2::Exifdatum &datum, Exiv2::ByteOrder order) {
    DecodedExifEntry e;
    e.group = datum.groupName();
    e.tag = datum.tag();
    e.tagName = datum.tagName();
    e.type = int(datum.typeId());
    e.count = datum.count();
    const long size = datum.size();
    e.raw = QByteArray(qsizetype(std::max(size, 0L)), '\0');
    if (size > 0)
        datum.copy(reinterpret_cast<Exiv2::byte *>(e.raw.data()), order);
    return e;
}

DecodedExif decoded(const Exiv2::ExifData &data, Exiv2::ByteOrder order) {
    DecodedExif out;
    order = plainOrder(order);
    out.littleEndian = order == Exiv2::littleEndian;
    out.entries.reserve(data.count());
    for (const Exiv2::Exifdatum &datum : data)
        out.entries.push_back(entryOf(datum, order));
    return out;
}

bool initialize() {
    try {
        return Exiv2::XmpParser::initialize();
    } catch (...) {
        return false;
    }
}

DecodedExif decodeTiff(const QByteArray &tiff) {
    quiet();
    Exiv2::ExifData data;
    const Exiv2::ByteOrder order = Exiv2::ExifParser::decode(
        data, reinterpret_cast<const Exiv2::byte *>(tiff.constData()), uint32_t(tiff.size()));
    if (order == Exiv2::invalidByteOrder)
        return {};
    return decoded(data, order);
}

DecodedExif readFile(const std::string &path) {
    quiet();
    const std::unique_ptr<Exiv2::Image> image(Exiv2::ImageFactory::open(path).release());
    image->readMetadata();
    return decoded(image->exifData(), image->byteOrder());
}

DecodedSummary readSummary(const QByteArray &bytes, const std::string &path,
                           const std::vector<std::string> &exifKeys,
                           const std::vector<std::string> &xmpKeys) {
    quiet();
    const std::unique_ptr<Exiv2::Image> image(
        (bytes.isEmpty()
             ? Exiv2::ImageFactory::open(path)
             : Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte *>(bytes.constData()),
                                         long(bytes.size())))
            .release());
    image->readMetadata();
    DecodedSummary out;
    const Exiv2::ByteOrder order = plainOrder(image->byteOrder());
    out.littleEndian = order == Exiv2::littleEndian;
    Exiv2::ExifData &exif = image->exifData();
    for (const std::string &key : exifKeys) {
        const auto it = exif.findKey(Exiv2::ExifKey(key));
        out.exif.push_back(it == exif.end() ? std::nullopt : std::optional(entryOf(*it, order)));
    }
    Exiv2::XmpData &xmp = image->xmpData();
    for (const std::string &key : xmpKeys) {
        const auto it = xmp.findKey(Exiv2::XmpKey(key));
        if (it == xmp.end()) {
            out.xmp.push_back(std::nullopt);
            continue;
        }
        std::vector<std::string> texts;
        if (const auto *alt = dynamic_cast<const Exiv2::LangAltValue *>(&it->value())) {
            const auto found = alt->value_.find("x-default");
            if (found != alt->value_.end())
                texts.push_back(found->second);
            else if (!alt->value_.empty())
                texts.push_back(alt->value_.begin()->second);
        } else {
            for (long i = 0; i < it->count(); ++i)
                texts.push_back(it->toString(i));
        }
        out.xmp.push_back(std::move(texts));
    }
    return out;
}

const MetadataLibraryCalls calls = {initialize, decodeTiff, readFile, readSummary};

} // namespace
} // namespace kalmora

extern "C" __attribute__((visibility("default"))) const kalmora::MetadataLibraryCalls *
kalmora_metadata_library() {
    return &kalmora::calls;
}
