#include "support/scoped_removal.h"

#include "platform/platform.h"
#include "support/file_utils.h"

namespace vorlan {

ScopedRemoval::~ScopedRemoval() {
    if (kept_ || path_.empty()) return;
    try {
        if (kind_ == Kind::File) {
            if (platform::FileExists(path_)) platform::DeleteFile(path_);
        } else {
            DeleteDirectory(path_, true);
        }
    } catch (...) {
        // A destructor raises nothing; what could not be deleted stays.
    }
}

}  // namespace vorlan
