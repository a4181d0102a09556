// Subject lines as they cross the toolkit boundary: "/" + tag + "=" + value per field,
// lines of several subjects joined with ";". Inside a value the escape character "\"
// stands before "/", ";" and itself, so a value can never end its field or a list
// entry; a control byte is written as "\" and two hex digits, which readers keep as
// they stand (so no value can hide a NUL). A value without these bytes is written as is.
// The toolkit writes lines with EscapeSubjectValue; every reader goes through the rest.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "line_escape.h"

namespace mpro {

constexpr char kSubjectEscape = '\\';

// EscapeSubjectValue: a field value as it is written into a subject line.
inline std::string EscapeSubjectValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || c == ';' || c == kSubjectEscape) {
            out += kSubjectEscape;
            out += c;
        } else if (IsControlByte(byte)) {
            AppendHexEscape(out, byte);
        } else {
            out += c;
        }
    }
    return out;
}

// UnescapeSubjectValue: the value of an escaped field; "\/", "\;" and "\\" give the
// character, any other escape is kept as it stands.
inline std::string UnescapeSubjectValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char next = i + 1 < value.size() ? value[i + 1] : '\0';
        if (value[i] == kSubjectEscape && (next == '/' || next == ';' || next == kSubjectEscape)) ++i;
        out += value[i];
    }
    return out;
}

// FindUnescaped: the first position at or after from where text holds needle outside an
// escape (an escape takes the character after it); npos when there is none.
inline std::size_t FindUnescaped(std::string_view text, std::string_view needle, std::size_t from = 0) {
    if (needle.empty()) return std::string_view::npos;
    for (std::size_t i = from; i < text.size(); ++i) {
        if (text.compare(i, needle.size(), needle) == 0) return i;
        if (text[i] == kSubjectEscape) ++i;
    }
    return std::string_view::npos;
}

// SubjectComponent: the unescaped value after the first tag (e.g. "/CN=") outside an
// escape, up to the next unescaped "/" or the end; empty when the tag does not occur.
inline std::string SubjectComponent(std::string_view line, std::string_view tag) {
    const std::size_t start = FindUnescaped(line, tag);
    if (start == std::string_view::npos) return {};
    const std::size_t from = start + tag.size();
    const std::size_t end = FindUnescaped(line, "/", from);
    return UnescapeSubjectValue(line.substr(from, end == std::string_view::npos ? std::string_view::npos : end - from));
}

// SplitSubjectList: the lines of a ";"-joined list, cut at unescaped ";" only; empty
// entries included.
inline std::vector<std::string> SplitSubjectList(std::string_view list) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = FindUnescaped(list, ";", start);
        out.emplace_back(list.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) return out;
        start = end + 1;
    }
}

}  // namespace mpro
