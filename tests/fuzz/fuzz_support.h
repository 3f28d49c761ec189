#pragma once

// What the checks of the fuzz targets share (fuzz_checks.cpp, bounded_tiff_check.cpp).
#include <QByteArray>
#include <QString>

namespace kalmora::fuzz {

// Prints what went wrong and aborts.
[[noreturn]] void Fail(const char *what, const QString &detail = QString());

// One scratch folder per process (in memory where the system offers it), and its files.
const QString &ScratchFolder();
void WriteScratchFile(const QString &path, const QByteArray &bytes);
QByteArray ReadScratchFile(const QString &path);

} // namespace kalmora::fuzz
