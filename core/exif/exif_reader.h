#pragma once

#include "core/filetime/file_times.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QVariant>

#include <optional>
#include <stdexcept>
#include <utility>

namespace kalmora {

// The Exif tags of the three dates a photo keeps.
inline constexpr int TagDateTimeOriginal = 36867, TagDateTimeDigitized = 36868, TagDateTime = 306;

// A first read that holds the Exif block of nearly every photo, for batches that read or patch
// a date (ExifReader::Load with a first read); a block further in is read on.
inline constexpr qint64 DateReadFirstBytes = 16 * 1024;

// The file a load read, as far as a later write must find it unchanged.
struct LoadedFile {
    quint64 device = 0;
    quint64 inode = 0;
    quint64 size = 0;
    Stamp modification;
    Stamp change;
    friend bool operator==(const LoadedFile &, const LoadedFile &) = default;
};

// A text entry as a load found it, for a patch later in a batch that need not read the file
// again: where the text lies, the bytes of its whole field, and the file the load read.
struct LoadedText {
    quint64 position = 0;
    QByteArray field;
    LoadedFile file;
};

// A damaged Exif structure, or a patch text that cannot be stored one byte per character.
class ExifError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The reader's internals (tiff_cursor.h, exif_file_bytes.h), kept out of its users' sight.
enum class TiffOrder : quint8;
namespace exif_detail {
class FileBytes;
}

// Reads the Exif block of one photo into a flat list of directory entries and patches a text
// value in place. One reader serves one file: create a fresh one for every file.
class ExifReader {
public:
    // `containers`: the Exif block is also found in TIFF files, PNG, WebP, HEIC and HEIF
    // (exif_container.h); without, JPEG's alone, any other file reads as one without Exif.
    explicit ExifReader(bool containers = true) : m_containers(containers) {}

    void setPicFile(const QString &path);
    QVariant MakerNoteTag(int makerTag) const;
    // Value of the first entry with this tag, or the number of entries for 0; loads the stored
    // path first while no Exif has been found. Throws ExifError for a damaged Exif block.
    QVariant tag(int exifTag);
    // Overwrites the text of an ASCII entry in the file, leaving every other byte alone.
    // False when nothing was written; ExifError for a character beyond one byte.
    bool setTag(int exifTag, const QString &value);
    // Where setTag would write this tag's text in the file and how many bytes it may take; no
    // value when it would refuse (no such text entry, inline data, unsafe range).
    std::optional<std::pair<quint64, quint32>> textRange(int exifTag) const;
    // The file's bytes in that range as the load read them; no value past what it read.
    std::optional<QByteArray> loadedBytes(quint64 offset, quint32 length) const;
    // The text setTag would patch for this tag, with its field's bytes as the load read them; no
    // value where setTag would refuse, or where the field lies beyond what the load read.
    std::optional<LoadedText> loadedText(int exifTag) const;
    // setTag's write of `value` over a text another reader's load found, without reading the
    // file again, when the file at `path` is still the one that load read: the same file, size,
    // modification and change times, and the same bytes in the field. No value, and nothing
    // written, when it is not: then load it afresh. True when written (the file's state and the
    // field are read back, see writtenState and writtenFields); false when the write failed or
    // the value does not fit, as setTag. For a fresh reader.
    std::optional<bool> setLoadedText(const QString &path, const LoadedText &text,
                                      const QString &value);
    // Several entries through one open of the file; nothing is written unless every one of them
    // can be patched in place.
    // `readBackTags`: text entries whose fields are read back as well (see writtenFields).
    bool setTags(const QList<std::pair<int, QString>> &values, const QList<int> &readBackTags = {});
    // After setTags wrote: what the file holds, read back through the same open of the file:
    // its state, and the whole field of each patched text (and of `readBackTags`) by offset.
    const std::optional<FileState> &writtenState() const { return m_writtenState; }
    const QHash<qint64, QByteArray> &writtenFields() const { return m_writtenFields; }
    // The checksum a container keeps over the block (PNG's chunk CRC) as it must read once
    // these bytes are written at these offsets: where it lies and its new bytes. No value for a
    // block without one; ExifError when it cannot be worked out, or the one the file holds does
    // not match the block as read (such a file is not patched).
    std::optional<std::pair<quint64, QByteArray>>
    checksumAfter(const QList<std::pair<quint64, QByteArray>> &patches) const;
    // Whether setTag would find the entry and the text would fit it in place.
    bool canSetTag(int exifTag, const QString &value) const;
    // Throws ExifError when the directories cannot be read; entries read before stay.
    void Load(const QString &picFile);
    // The same, reading only the file's first `firstReadBytes` at first: for a read that wants a
    // date and no patch. Further bytes are read as the walk needs them, with the same result.
    void Load(const QString &picFile, qint64 firstReadBytes);
    // After a Load: whether the file opened, and as a regular file (no device, pipe or folder).
    bool regularFileRead() const { return m_regularFile; }
    // The bytes of an ASCII entry's text as the file holds them now, read from the file again,
    // when a full listing of the photo's metadata could show no other entry under this tag: the
    // one entry with it, in the Exif directory of the first Exif segment, none in the
    // interoperability directory. No value otherwise, or when the bytes cannot be read.
    std::optional<QByteArray> soleExifTextInFile(int exifTag) const;
    // The same entry's text from the bytes the load read, when moreover the whole Exif block is
    // laid out cleanly inside its segment (every directory, entry and value in it, known value
    // formats, at most 256 entries a directory, no sub-image directories), so that a full
    // listing reads every directory as this reader does and shows exactly this text. No value
    // otherwise: then only the full listing can tell.
    std::optional<QByteArray> soleExifTextAsListed(int exifTag) const;

private:
    struct ExifTagRecord {
        int Tag = 0;
        bool IsMakerNote = false;
        int DataFormat = 0;
        quint32 Components = 0;
        quint32 ValueOffset = 0;
        bool dataOutsideEntry = false; // ValueOffset is meaningful (it may legally be 0)
        quint64 entryPosition = 0;     // buffer index of the 12-byte directory entry
        QVariant Value;
    };

    // Reads the file's first `limit` bytes, or all of it for a negative limit, through the
    // system's calls alone: one open, one status, reads, one close.
    void ReadPictureFile(const QString &path, qint64 limit);
    struct Patch {
        quint64 position = 0;
        QByteArray bytes;
        quint32 field = 0; // the length of the text's field, from `position`
    };
    bool WritePictureFile(const QString &path, const QList<Patch> &patches,
                          const QList<std::pair<quint64, quint32>> &readBack);
    // The writes and the read-back through an open file; closes it.
    bool writeAndClose(int fd, const QList<Patch> &patches,
                       const QList<std::pair<quint64, quint32>> &readBack);
    // The bytes of the patch for `value`, as setTag would write them; ExifError beyond one byte.
    static QByteArray textBytes(const QString &value);
    std::optional<Patch> patchFor(int exifTag, const QString &value) const;
    // The bytes read, through the TIFF cursor in the Exif block's order (exif_file_bytes.h).
    exif_detail::FileBytes tiffBytes() const;
    bool FindExifSegment();
    bool IsIntelOrder() const;
    static QString PadLeft(const QString &text, int width, QChar fill);
    void ParseIfdChain(quint64 position);
    ExifTagRecord readEntry(quint64 entryPosition, quint64 &dataBudget) const;
    bool patchRangeIsSafe(const ExifTagRecord &record, quint64 start) const;
    // Whether the Exif segment found is the first Exif segment of the JPEG's segment chain.
    bool isFirstExifSegment() const;
    // Where the text of soleExifTextInFile lies in the file, with its field's length.
    std::optional<std::pair<quint64, quint32>> soleExifTextRange(int exifTag) const;
    // Whether every directory a listing reads lies, with its entries and values, inside the Exif
    // segment (see soleExifTextAsListed).
    bool exifBlockIsClean() const;
    // The first byte after the Exif block (the JPEG segment, or the container's block).
    quint64 blockEnd(const exif_detail::FileBytes &in) const;
    void loadWithin(const QList<qint64> &firstReads);

    QString m_picFile;
    QByteArray m_buffer; // the file's first bytes, or all of them
    std::optional<FileState> m_writtenState;
    QHash<qint64, QByteArray> m_writtenFields;
    quint64 m_fileSize = 0;
    bool m_regularFile = false;
    LoadedFile m_loadedFile;
    bool m_containers = true;
    bool m_inJpeg = true;     // the block is a JPEG segment; else a container's
    quint64 m_blockEnd = 0;   // a container's block
    quint64 m_checksumAt = 0; // PNG: the chunk's CRC, over [m_checksumFrom, m_checksumAt)
    quint64 m_checksumFrom = 0;
    quint64 m_segmentPosition = 0;
    quint64 m_tiffStart = 0;
    TiffOrder m_byteOrder{}; // set by the load before any use
    quint32 m_exifSubIfdOffset = 0;
    QList<ExifTagRecord> m_records;
    bool m_hasExif = false;
};

} // namespace kalmora
