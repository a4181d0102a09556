// Fuzz target: the subject-line rule on arbitrary text. Read as a line it never fails; as a
// value, once escaped, it stays inside its field and its list entry and reads back as written.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "binding/subject_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4096) return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    static_cast<void>(mpro::SubjectComponent(text, "/CN="));
    static_cast<void>(mpro::SplitSubjectList(text));

    const std::string line = "/O=" + mpro::EscapeSubjectValue(text) + "/CN=X";
    if (mpro::SubjectComponent(line, "/CN=") != "X") std::abort();
    if (mpro::SplitSubjectList(line + ";" + line).size() != 2) std::abort();
    const std::string back = mpro::SubjectComponent(line, "/O=");
    if (back.find('\0') != std::string::npos) std::abort();
    const bool printable = std::none_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    });
    if (printable && back != text) std::abort();
    return 0;
}
