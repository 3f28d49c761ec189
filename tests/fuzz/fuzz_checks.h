#pragma once

// The checks that the fuzz targets run on every input, and that the replay tests run on every
// file of the seed corpus and of tests/data, so a crash once found stays fixed. A check returns
// quietly when the code under test behaves; otherwise it prints what went wrong and aborts.
#include <QByteArray>
#include <QString>

namespace kalmora::fuzz {

// ExifReader: load, every query, and the 36867 date patch on a copy of the file. The patched
// copy keeps its length, and every changed byte lies in the data of a date entry.
void CheckExifReader(const QByteArray &input);

// DateTime::parse: a parsed value carries the numbers of the text and prints back in each text
// form to a text that parses to the same value.
void CheckDateTimeParse(const QByteArray &input);

// FilePattern: the input is a pattern, a line feed and a file name. For an ASCII pattern the
// name's letter case never matters; without brackets it agrees with a reference matcher.
void CheckFilePattern(const QByteArray &input);

// DecodeState, the journal's reading of a file's recorded state: any bytes give a state or the
// empty one, never a crash; a decoded state encodes to bytes that decode to the same state.
void CheckJournalState(const QByteArray &input);

// BoundTiff, the bounded copy of a JPEG's Exif block that the metadata listing decodes: the
// input is the block (what follows "Exif\0\0" in the segment). The copy reads and writes
// nothing outside the input (run in place against unmapped pages); it has the input's length and
// changes nothing but the counts of long values and the Exif directory's maker-note tag; every
// entry that lay inside the input lies inside the copy, and a well-formed input gives a
// well-formed copy; short values stay whole, a value is cut exactly as far as the per-value and
// per-photo limits say, the long values together stay within the photo's budget, and the cut
// entries are the ones it names. BoundedJpegMetadata hands on exactly this copy.
void CheckBoundedTiff(const QByteArray &input);

using Check = void (*)(const QByteArray &);
// The check of a target ("exif_reader", "date_time", "file_pattern", "journal_state",
// "bounded_tiff"), or nullptr.
Check CheckNamed(const QString &target);

} // namespace kalmora::fuzz
