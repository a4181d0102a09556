// Win32 side: the wide file functions for UTF-8 paths, and the host's texts in the ANSI code
// page. Owner-only files carry a protected ACL with one entry that lets the current user
// read, write and delete them (no inherited entries: nobody else, administrators included,
// is granted access) and are kept out of content indexing.
#include "file_system.h"

#include <windows.h>
#include <aclapi.h>

#include "platform/wide_text.h"
#include "platform/win32_open_read.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace vtk::os {

namespace {

struct HandleCloser {
    void operator()(HANDLE h) const {
        if (h != INVALID_HANDLE_VALUE && h != nullptr) CloseHandle(h);
    }
};
using Handle = std::unique_ptr<void, HandleCloser>;
struct FindCloser {
    void operator()(HANDLE h) const {
        if (h != INVALID_HANDLE_VALUE) FindClose(h);
    }
};
struct LocalFreer {
    void operator()(void* p) const { LocalFree(p); }
};

constexpr DWORD kOwnerAccess = FILE_GENERIC_READ | FILE_GENERIC_WRITE | DELETE;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

using vorlan::wide::Narrow;
using vorlan::wide::Wide;

// Path: a UTF-8 path for the wide API.
std::wstring Path(const std::string& utf8) { return Wide(utf8, CP_UTF8); }

std::int64_t UnixNanoseconds(FILETIME ft) {
    const std::int64_t ticks = (static_cast<std::int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return (ticks - 116444736000000000LL) * 100;  // 100 ns ticks since 1601
}

// CurrentUser: the SID of the process's user, as a token information buffer.
std::vector<unsigned char> CurrentUser() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return {};
    Handle token(raw);
    DWORD size = 0;
    GetTokenInformation(raw, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    if (size == 0 || !GetTokenInformation(raw, TokenUser, buffer.data(), size, &size)) return {};
    return buffer;
}

PSID SidOf(std::vector<unsigned char>& tokenUser) { return reinterpret_cast<TOKEN_USER*>(tokenUser.data())->User.Sid; }

// OwnerOnlyAttributes: a security descriptor with a protected DACL of one entry (read,
// write and delete for the current user); storage holds what the descriptor points into.
struct OwnerOnlyAttributes {
    std::vector<unsigned char> user = CurrentUser();
    std::vector<unsigned char> acl;
    SECURITY_DESCRIPTOR descriptor{};
    SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), &descriptor, FALSE};
    bool ok = false;

    OwnerOnlyAttributes(const OwnerOnlyAttributes&) = delete;  // points into itself
    OwnerOnlyAttributes& operator=(const OwnerOnlyAttributes&) = delete;
    OwnerOnlyAttributes() {
        if (user.empty()) return;
        PSID sid = SidOf(user);
        acl.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid));
        auto* list = reinterpret_cast<PACL>(acl.data());
        ok = InitializeAcl(list, static_cast<DWORD>(acl.size()), ACL_REVISION) &&
             AddAccessAllowedAce(list, ACL_REVISION, kOwnerAccess, sid) &&
             InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
             SetSecurityDescriptorDacl(&descriptor, TRUE, list, FALSE) &&
             SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    }
};

}  // namespace

std::string HostText(const std::string& utf8, bool* lossy) { return Narrow(Wide(utf8, CP_UTF8), CP_ACP, lossy); }

std::string Utf8Text(const std::string& host) { return Narrow(Wide(host, CP_ACP), CP_UTF8, nullptr); }

std::optional<FileStatus> Status(const std::string& path) {
    const std::wstring name = Path(path);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    FileStatus s;
    s.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    s.isFile = !s.isDirectory && (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) == 0;
    s.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    s.mtimeNs = UnixNanoseconds(data.ftLastWriteTime);
    if (s.isFile) {
        Handle file(CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        BY_HANDLE_FILE_INFORMATION info;
        if (file.get() != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file.get(), &info))
            s.identity = ((static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow) ^
                         (static_cast<std::uint64_t>(info.dwVolumeSerialNumber) << 48);
    }
    return s;
}

bool WriteNewFile(const std::string& path, std::string_view bytes, std::uint32_t bits) {
    const bool ownerOnly = (bits & 0077) == 0;
    std::optional<OwnerOnlyAttributes> secured;
    if (ownerOnly && !secured.emplace().ok) return false;
    const std::wstring name = Path(path);
    Handle file(CreateFileW(name.c_str(), GENERIC_WRITE, 0, ownerOnly ? &secured->attributes : nullptr, CREATE_NEW,
                            ownerOnly ? FILE_ATTRIBUTE_NOT_CONTENT_INDEXED : FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return false;
    std::size_t done = 0;
    bool ok = true;
    while (ok && done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        DWORD written = 0;
        ok = WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr) && written > 0;
        done += written;
    }
    if (!CloseHandle(file.release())) ok = false;
    if (!ok) DeleteFileW(name.c_str());
    return ok;
}

std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t limit) {
    Handle file(vorlan::wide::OpenToRead(Path(path)));
    LARGE_INTEGER size{};
    if (file.get() == INVALID_HANDLE_VALUE || !GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
        static_cast<std::uint64_t>(size.QuadPart) > limit)
        return std::nullopt;
    std::string data(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t done = 0;
    while (done < data.size()) {
        DWORD read = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1u << 30));
        if (!ReadFile(file.get(), data.data() + done, chunk, &read, nullptr) || read == 0) return std::nullopt;
        done += read;
    }
    return data;
}

bool SameFile(const std::string& a, const std::string& b) {
    BY_HANDLE_FILE_INFORMATION info[2];
    const std::string* paths[2] = {&a, &b};
    for (int i = 0; i < 2; ++i) {
        Handle file(CreateFileW(Path(*paths[i]).c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (file.get() == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(file.get(), &info[i])) return false;
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow;
}

namespace {

bool OwnerOnlyAcl(const std::string& path) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (GetNamedSecurityInfoW(Path(path).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                              &raw) != ERROR_SUCCESS)
        return false;
    std::unique_ptr<void, LocalFreer> descriptor(raw);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (dacl == nullptr || !GetSecurityDescriptorControl(raw, &control, &revision) || !(control & SE_DACL_PROTECTED))
        return false;
    std::vector<unsigned char> user = CurrentUser();
    if (user.empty() || dacl->AceCount == 0) return false;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) return false;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) return false;
        if (!EqualSid(reinterpret_cast<PSID>(&allowed->SidStart), SidOf(user))) return false;
    }
    return true;
}

}  // namespace

std::optional<std::uint32_t> PermissionBits(const std::string& path) {
    if (!Status(path)) return std::nullopt;
    return OwnerOnlyAcl(path) ? 0600u : 0644u;
}

// A target that another thread or process is reading cannot be replaced until it is
// closed: such a rename is tried again for up to half a second.
bool RenameReplacing(const std::string& from, const std::string& to) {
    const std::wstring source = Path(from), target = Path(to);
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
        const DWORD error = GetLastError();
        if (attempt == 50 || (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED)) return false;
        Sleep(10);
    }
}

bool RemoveFile(const std::string& path) { return DeleteFileW(Path(path).c_str()) != 0; }

bool CreateDirectories(const std::string& dir) {
    if (dir.empty()) return false;
    if (auto s = Status(dir)) return s->isDirectory;
    std::size_t end = dir.size();
    while (end > 0 && IsSeparator(dir[end - 1])) --end;
    std::size_t cut = end;
    while (cut > 0 && !IsSeparator(dir[cut - 1])) --cut;
    // A parent that is a drive ("C:") or a share root needs no creating.
    if (cut > 1 && dir[cut - 2] != ':') CreateDirectories(dir.substr(0, cut - 1));
    if (CreateDirectoryW(Path(dir.substr(0, end)).c_str(), nullptr)) return true;
    auto s = Status(dir);  // made by someone else meanwhile
    return s && s->isDirectory;
}

std::vector<std::string> FileNames(const std::string& dir) {
    std::vector<std::string> names;
    std::string pattern = dir.empty() || IsSeparator(dir.back()) ? dir + "*" : dir + "\\*";
    WIN32_FIND_DATAW entry;
    std::unique_ptr<void, FindCloser> find(FindFirstFileW(Path(pattern).c_str(), &entry));
    if (find.get() == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)))
            names.push_back(Narrow(entry.cFileName, CP_UTF8, nullptr));
    } while (FindNextFileW(find.get(), &entry));
    return names;
}

unsigned long ProcessId() { return GetCurrentProcessId(); }

}  // namespace vtk::os
