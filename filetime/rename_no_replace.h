#pragma once

#include <QString>

namespace kalmora {

enum class RenameError { None, Exists, Access, Other };

// Renames within the file system without ever replacing a file: a target that exists, or one
// that appears meanwhile, makes it fail with Exists.
RenameError RenameNoReplace(const QString &from, const QString &to);

} // namespace kalmora
