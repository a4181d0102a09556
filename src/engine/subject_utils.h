// Subject lines ("/" + tag + "=" + value components) and UIDs: reading components,
// the parameter that holds a subject field, and the check that a UID is a safe file name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vorlan {

// ExtractSubjectComponent: the value after the first occurrence of tag (e.g. "/CN=") up to the
// next "/" or the end, escapes inside values honoured (binding/subject_line.h); empty when the
// tag does not occur (case-sensitive).
std::string ExtractSubjectComponent(const std::string& subject, const std::string& tag);

// Field helpers: the value of one subject field.
std::string GetSubjectCN(const std::string& subject);
std::string GetSubjectCountry(const std::string& subject);
// GetSubjectEmail: "/E=", then "/Email=".
std::string GetSubjectEmail(const std::string& subject);
std::string GetSubjectTitle(const std::string& subject);
std::string GetSubjectLocality(const std::string& subject);
std::string GetSubjectOrganization(const std::string& subject);
std::string GetSubjectUnit(const std::string& subject);
// GetSubjectState: "/SP=", then "/ST=", then "/S=".
std::string GetSubjectState(const std::string& subject);

// SubjectFieldParam: the engine parameter holding a request's subject field (CN or unknown: 16).
std::int32_t SubjectFieldParam(const std::string& field);

// IsSafeUID: a UID usable as a file name inside the certificate directory: not empty, no path
// separator, drive colon, "..", wildcard or control character, not a name reserved by Windows.
bool IsSafeUID(const std::string& uid);

// kMaxUIDCharacters: a UID has at most 40 characters, in every encoding.
inline constexpr std::size_t kMaxUIDCharacters = 40;
// kMaxUIDBytes: the room a UID takes with its terminator (GetMaxUIDLength); every buffer
// that holds a UID has this size: 40 characters of up to 4 bytes each (UTF-8 on Linux; on
// Windows the widest ANSI code page, UTF-8 in a process that runs in it) and the zero.
inline constexpr std::int32_t kMaxUIDBytes = 161;
// UIDFits: whether a UID has at most 40 characters and fits kMaxUIDBytes with its terminator.
bool UIDFits(const std::string& uid);

}  // namespace vorlan
