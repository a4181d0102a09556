// Files and directories the library makes for its own changes (staged copies, records of
// intent, key sets unpacked), created new and exclusively: never through a link or over an
// existing name, with the permission bits given (POSIX, whatever the umask; Windows: the
// parent directory's access list). All are changing calls of the fault plans.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace vorlan::platform {

// WriteNewFile: a new file with the bytes given; false when the name exists (a link
// included) or not every byte was written; no partial file stays behind (a write).
bool WriteNewFile(const std::string& path, const void* data, std::size_t size, std::uint32_t permissions);
// CopyToNewFile: a new file with the content of from and its permission bits, or those
// given (a copy); false as WriteNewFile, or when from cannot be read.
bool CopyToNewFile(const std::string& from, const std::string& to,
                   std::optional<std::uint32_t> permissions = std::nullopt);
// CreatePrivateDir: a new directory for the owner alone (0700); false when the name exists.
bool CreatePrivateDir(const std::string& path);

}  // namespace vorlan::platform
