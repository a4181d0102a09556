// Win32 side of new files: CREATE_NEW, which refuses an existing name (a link included);
// permission bits do not apply.
#include "platform/win32_handle.h"

#include "platform/fault_injection.h"
#include "platform/new_file.h"
#include "platform/platform.h"

namespace vorlan::platform {

namespace {

bool WriteNew(const std::string& path, const void* data, std::size_t size) {
    if (data == nullptr && size > 0) return false;
    win32::FileHandle file(
        ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return false;
    const char* p = static_cast<const char*>(data);
    bool ok = true;
    while (ok && size > 0) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(size < (1u << 30) ? size : (1u << 30));
        ok = ::WriteFile(file.get(), p, chunk, &written, nullptr) && written > 0;
        p += written;
        size -= written;
    }
    ok = file.Close() && ok;
    if (!ok) ::DeleteFileA(path.c_str());
    return ok;
}

}  // namespace

bool WriteNewFile(const std::string& path, const void* data, std::size_t size, std::uint32_t) {
    if (FaultInjected(DiskChange::Write, path)) return false;
    return WriteNew(path, data, size);
}

bool CopyToNewFile(const std::string& from, const std::string& to, std::optional<std::uint32_t>) {
    if (FaultInjected(DiskChange::Copy, from, to)) return false;
    const auto data = ReadWholeFile(from);
    return data && WriteNew(to, data->data(), data->size());
}

bool CreatePrivateDir(const std::string& path) {
    if (FaultInjected(DiskChange::CreateDir, path)) return false;
    return ::CreateDirectoryA(path.c_str(), nullptr) != 0;
}

}  // namespace vorlan::platform
