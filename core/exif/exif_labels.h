#pragma once

#include <QString>

#include <array>

namespace kalmora {

struct ExifLabel {
    const char *name;  // as the metadata component names the property
    const char *label; // UTF-8
};

// Applied in this order; "Orientation" is listed twice so that a second one is translated too.
extern const std::array<ExifLabel, 33> ExifLabels;

// Replaces, row by row, the first occurrence of each name (exact case) by its label.
QString TranslateLabels(QString text);

} // namespace kalmora
