#include "core/exif/read_exif.h"

#include "core/base/path_bytes.h"
#include "core/base/text_export.h"
#include "core/exif/exif_labels.h"
#include "core/exif/exif_reader.h"
#include "core/exif/image_metadata.h"

namespace kalmora {

namespace {

// A stripped photo keeps at most its JPEG-derived properties.
constexpr int ErasedPropertyLimit = 6;
// The most text one photo adds to an export.
constexpr qsizetype PhotoTextChars = 4 * 1024 * 1024;

// By name, not by "the line contains": ExifDTOrigSS and ThumbnailEquipModel contain these names
// and would overwrite the date and the model with their own values.
bool isNamed(const MetadataProperty &property, QLatin1StringView name) {
    return property.name.compare(name, Qt::CaseInsensitive) == 0;
}

// The value after the line's first blank, cut two characters after its last colon so that any
// trailing sub-seconds or padding go. A text without a colon is kept as it is.
QString dateFromLine(const QString &line) {
    const QString value = line.mid(line.indexOf(u' ') + 1);
    const qsizetype lastColon = value.lastIndexOf(u':');
    return lastColon < 0 ? value : value.left(lastColon + 3);
}

} // namespace

ExifCells ExifCellsOf(const ImageMetadata &metadata, bool importing, bool exifMode) {
    ExifCells cells;
    for (int i = 1; i <= metadata.count(); ++i) {
        const MetadataProperty property = metadata.item(i);
        // Only the two wanted properties are put into words.
        if (importing && isNamed(property, QLatin1StringView("EquipModel"))) {
            const QString model = PropertyLine(property).mid(11); // after the name and a blank
            cells.model = model.isEmpty() ? QStringLiteral("相机型号未知") : model;
        }
        // Only a text can be a date; the bytes of a damaged entry are not one.
        if (property.type == 2 && isNamed(property, QLatin1StringView("ExifDTOrig")))
            cells.date = dateFromLine(PropertyLine(property));
        if (exifMode && cells.model && cells.date)
            break;
    }
    return cells;
}

std::optional<QString> ShootingDateCell(const QString &path, bool importing) {
    ImageMetadata metadata;
    if (!metadata.load(path))
        return std::nullopt;
    return ExifCellsOf(metadata, importing, importing).date;
}

QString ShootingDateCellText(const QByteArray &field) {
    return dateFromLine(PropertyLine(TextProperty(QStringLiteral("ExifDTOrig"), field)));
}

std::optional<QString> QuickShootingDateCellText(const QString &path,
                                                 std::optional<LoadedText> *loaded) {
    try {
        ExifReader reader;
        reader.Load(path, DateReadFirstBytes);
        if (const auto field = reader.soleExifTextAsListed(TagDateTimeOriginal)) {
            if (loaded)
                *loaded = reader.loadedText(TagDateTimeOriginal);
            return ShootingDateCellText(*field);
        }
    } catch (const ExifError &) {
    }
    return std::nullopt;
}

void AppendPropertyText(const QString &path, QString &exportBuffer) {
    ImageMetadata metadata;
    if (!metadata.load(path))
        return;
    QString block;
    for (int i = 1; i <= metadata.count(); ++i) {
        const MetadataProperty property = metadata.item(i);
        QString line = PropertyLine(property);
        // Maker notes are long binary blocks that mean nothing in a text file.
        if (line.toLower().contains(QLatin1StringView("makernote")))
            line = QStringLiteral("制造商注释：【内容太多太长，不予导出】");
        // One photo's text stays bounded whatever it holds; what no longer fits is named only.
        if (block.size() + line.size() > PhotoTextChars)
            line = OneLine(property.name) + u' ' + TruncatedMark;
        block += line + QStringLiteral("\r\n");
    }
    exportBuffer += block + QStringLiteral("\r\n");
}

QString ExifExportBlock(const QString &fileName, const QString &path) {
    QString properties;
    AppendPropertyText(path, properties);
    properties = TranslateLabels(properties);
    if (properties.contains(QStringLiteral("制造商标记")))
        return QStringLiteral("制造商标记： 【内容太多太大，不予导出】");
    return QStringLiteral("照片名称：") + ExportName(fileName) + QStringLiteral("\r\n") +
           properties;
}

bool MetadataErased(const QString &path) {
    ImageMetadata metadata;
    return metadata.load(path) && MetadataErased(metadata);
}

bool MetadataErased(const ImageMetadata &metadata) {
    return metadata.count() < ErasedPropertyLimit;
}

} // namespace kalmora
