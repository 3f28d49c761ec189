#include "core/base/file_state.h"

namespace kalmora {

bool FileState::sameAs(const FileState &o) const {
    return exists == o.exists && device == o.device && inode == o.inode && size == o.size &&
           modification == o.modification && creation == o.creation &&
           (hash.isEmpty() || o.hash.isEmpty() || hash == o.hash);
}

} // namespace kalmora
