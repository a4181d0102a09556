// File services for what an attacker may name or plant: a bounded read that takes regular
// files only, and a temporary directory that nobody else can have made or entered.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace vorlan::platform {

// ReadRegularFile: the content of a regular file of at most limit bytes; nullopt when the
// file is missing, unreadable, no regular file (a directory, FIFO, pipe or device) or longer
// than limit. Opening never waits for a writer; at most limit + 1 bytes are read.
std::optional<std::string> ReadRegularFile(const std::string& path, std::size_t limit);

// CreatePrivateDirectory: a new directory in parent with a random name, created by this
// call (a name that exists, a planted link included, is never used) and open to its owner
// only (POSIX mode 0700 whatever the umask; Windows an owner-only access list that its files
// inherit). Its path without a trailing separator; empty when none could be made.
std::string CreatePrivateDirectory(const std::string& parent);

}  // namespace vorlan::platform
