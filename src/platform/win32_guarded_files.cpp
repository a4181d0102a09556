// Win32 side of the guarded file services.
#include "platform/win32_handle.h"

#include <ntsecapi.h>

#include <algorithm>
#include <vector>

#include "platform/fault_injection.h"
#include "platform/guarded_files.h"

namespace vorlan::platform {

namespace {

constexpr int kNameAttempts = 16;

// RandomName: 16 hex digits from the system's random source; empty when it fails.
std::string RandomName() {
    unsigned char bytes[8];
    if (!RtlGenRandom(bytes, sizeof bytes)) return {};
    static constexpr char kHex[] = "0123456789abcdef";
    std::string name = "vorlan-";
    for (unsigned char b : bytes) name += {kHex[b >> 4], kHex[b & 15]};
    return name;
}

// CurrentUser: the token information that holds the SID of the process's user.
std::vector<unsigned char> CurrentUser() {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return {};
    const win32::FileHandle token(raw);
    DWORD size = 0;
    ::GetTokenInformation(raw, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> user(size);
    if (size == 0 || !::GetTokenInformation(raw, TokenUser, user.data(), size, &size)) return {};
    return user;
}

}  // namespace

std::optional<std::string> ReadRegularFile(const std::string& path, std::size_t limit) {
    const win32::FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    // Pipes and character devices (CON, NUL, COM1) are no files on disk.
    if (!file.valid() || ::GetFileType(file.get()) != FILE_TYPE_DISK) return std::nullopt;
    std::string data;
    char chunk[65536];
    while (data.size() <= limit) {
        DWORD read = 0;
        const auto want = static_cast<DWORD>(std::min(sizeof chunk, limit + 1 - data.size()));
        if (!::ReadFile(file.get(), chunk, want, &read, nullptr)) return std::nullopt;
        if (read == 0) return data;
        data.append(chunk, read);
    }
    return std::nullopt;
}

std::string CreatePrivateDirectory(const std::string& parent) {
    std::vector<unsigned char> user = CurrentUser();
    if (user.empty()) return {};
    const PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
    std::vector<unsigned char> acl(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + ::GetLengthSid(sid));
    auto* list = reinterpret_cast<PACL>(acl.data());
    SECURITY_DESCRIPTOR descriptor {};
    // One entry, for the owner, inherited by what is made inside; none from the parent.
    if (!::InitializeAcl(list, static_cast<DWORD>(acl.size()), ACL_REVISION) ||
        !::AddAccessAllowedAceEx(list, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, FILE_ALL_ACCESS, sid) ||
        !::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorDacl(&descriptor, TRUE, list, FALSE) ||
        !::SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
        return {};
    SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), &descriptor, FALSE};
    std::string base = parent;
    if (!base.empty() && base.back() != '\\' && base.back() != '/') base += '\\';
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string name = RandomName();
        if (name.empty()) return {};
        const std::string dir = base + name;
        if (FaultInjected(DiskChange::CreateDir, dir)) return {};
        // A name that exists, a reparse point among them, is never entered.
        if (::CreateDirectoryA(dir.c_str(), &attributes)) return dir;
        if (::GetLastError() != ERROR_ALREADY_EXISTS) return {};
    }
    return {};
}

}  // namespace vorlan::platform
