#include "engine/subject_utils.h"

#include <array>
#include <string_view>

#include "binding/subject_line.h"
#include "platform/ansi_text.h"
#include "support/text_utils.h"

namespace vorlan {

std::string ExtractSubjectComponent(const std::string& subject, const std::string& tag) {
    return mpro::SubjectComponent(subject, tag);
}

std::string GetSubjectCN(const std::string& subject) { return ExtractSubjectComponent(subject, "/CN="); }
std::string GetSubjectCountry(const std::string& subject) { return ExtractSubjectComponent(subject, "/C="); }
std::string GetSubjectTitle(const std::string& subject) { return ExtractSubjectComponent(subject, "/T="); }
std::string GetSubjectLocality(const std::string& subject) { return ExtractSubjectComponent(subject, "/L="); }
std::string GetSubjectOrganization(const std::string& subject) { return ExtractSubjectComponent(subject, "/O="); }
std::string GetSubjectUnit(const std::string& subject) { return ExtractSubjectComponent(subject, "/OU="); }

std::string GetSubjectEmail(const std::string& subject) {
    std::string value = ExtractSubjectComponent(subject, "/E=");
    if (value.empty()) value = ExtractSubjectComponent(subject, "/Email=");
    return value;
}

std::string GetSubjectState(const std::string& subject) {
    for (const char* tag : {"/SP=", "/ST=", "/S="}) {
        std::string value = ExtractSubjectComponent(subject, tag);
        if (!value.empty()) return value;
    }
    return {};
}

std::int32_t SubjectFieldParam(const std::string& field) {
    struct Entry {
        const char* name;
        std::int32_t param;
    };
    static constexpr std::array<Entry, 7> kFields{{
        {"CN", 16}, {"C", 11}, {"S", 12}, {"L", 13}, {"O", 14}, {"OU", 15}, {"E", 17}}};
    for (const auto& entry : kFields)
        if (SameTextAnsi(field, entry.name)) return entry.param;
    return 16;
}

namespace {

// Device names that Windows resolves in every directory, whatever the extension.
bool IsReservedDeviceName(const std::string& uid) {
    std::string base = UpperCaseAscii(uid.substr(0, uid.find('.')));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    static constexpr std::array<std::string_view, 4> kPlain{"CON", "PRN", "AUX", "NUL"};
    for (auto name : kPlain)
        if (base == name) return true;
    if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
        base[3] >= '0' && base[3] <= '9')
        return true;
    return base == "CONIN$" || base == "CONOUT$";
}

}  // namespace

bool IsSafeUID(const std::string& uid) {
    if (uid.empty() || uid.find("..") != std::string::npos) return false;
    for (unsigned char c : uid) {
        if (c < 0x20 || c == 0x7F) return false;
        if (std::string_view("\\/:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos) return false;
    }
    return !IsReservedDeviceName(uid);
}

bool UIDFits(const std::string& uid) {
    return uid.size() < static_cast<std::size_t>(kMaxUIDBytes) && platform::AnsiCharacters(uid) <= kMaxUIDCharacters;
}

}  // namespace vorlan
