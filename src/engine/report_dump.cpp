#include "engine/report_dump.h"

#include <algorithm>
#include <array>

#include "binding/line_escape.h"
#include "support/text_utils.h"

namespace vorlan {

namespace {

const std::string kCrLf = "\r\n";

// ReplaceAll: every non-overlapping occurrence of what, from the left, replaced by with.
std::string ReplaceAll(const std::string& text, const std::string& what, const std::string& with) {
    std::string result;
    result.reserve(text.size());
    std::size_t from = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, from)) {
        result.append(text, from, at - from).append(with);
        from = at + what.size();
    }
    return result.append(text, from);
}

// Line: key=value CR LF, the value's control bytes escaped, so that it cannot end its line.
std::string Line(const std::string& key, const std::string& value) { return key + mpro::EscapeControlBytes(value) + kCrLf; }

// AppendNameLines: the fields of the name after marker (issuer or subject), each under
// prefix + its key. Fields are separated by CR LF when the name spans lines, else by ", ".
void AppendNameLines(const std::string& text, const std::string& marker, const std::string& end,
                     const std::string& prefix, std::string& report) {
    std::string name;
    if (!ExtractField(text, marker, end, false, name)) return;
    const std::string separator = name.find(kCrLf) != std::string::npos ? kCrLf : ", ";
    name += separator;
    struct Field {
        const char* key;
        std::array<const char*, 3> tags;  // tried in order; null ends the list
    };
    static constexpr std::array<Field, 7> kFields{{{"CN=", {"CN=", nullptr, nullptr}},
                                                   {"C=", {"C=", nullptr, nullptr}},
                                                   {"S=", {"S=", "SP=", "ST="}},
                                                   {"L=", {"L=", nullptr, nullptr}},
                                                   {"O=", {"O=", nullptr, nullptr}},
                                                   {"OU=", {"OU=", nullptr, nullptr}},
                                                   {"E=", {"E=", nullptr, nullptr}}}};
    std::string value;
    for (const auto& field : kFields) {
        for (const char* tag : field.tags) {
            if (tag == nullptr) break;
            if (ExtractField(name, tag, separator, false, value)) {
                report += Line(prefix + field.key, value);
                break;
            }
        }
    }
}

// PublicKeyLines: the public key lines of the dump without their indentation.
std::string PublicKeyLines(const std::string& text) {
    const std::string blanks20(20, ' '), blanks16(16, ' ');
    std::string value;
    if (ExtractField(text, "Modulus:", std::string(16, ' ') + "Exponent:", true, value)) return ReplaceAll(value, blanks20, "");
    if (ExtractField(text, "R3410 Public Key:", "        X509v3 extensions", true, value) ||
        ExtractField(text, "R3410 Public Key:", "        Attributes:", true, value))
        return ReplaceAll(ReplaceAll(value, blanks20, ""), blanks16, "");
    const std::string marker = "Public Key:";
    const auto at = text.find(marker);
    value = at != std::string::npos ? text.substr(at + marker.size()) : text.substr(std::min<std::size_t>(10, text.size()));
    if (const auto lineEnd = value.find(kCrLf); lineEnd != std::string::npos) value.erase(0, lineEnd + kCrLf.size());
    return ReplaceAll(ReplaceAll(value, blanks20, ""), blanks16, "");
}

}  // namespace

std::string ReportFromDump(std::string dump) {
    if (dump.find(kCrLf) == std::string::npos) dump = ReplaceAll(dump, "\n", kCrLf);
    std::string report, value;
    if (ExtractField(dump, "Serial Number:", kCrLf, true, value)) report += Line("SN=", TrimSpaces(value));
    AppendNameLines(dump, "Issuer: ", "\r\n        Validity", "I", report);
    if (ExtractField(dump, "Not Before: ", kCrLf, false, value)) report += Line("NotBefore=", ConvertCertDate(value));
    if (ExtractField(dump, "Not After : ", kCrLf, false, value)) report += Line("NotAfter=", ConvertCertDate(value));
    AppendNameLines(dump, "Subject: ", "\r\n        Subject Public Key Info:", "", report);
    if (ExtractField(dump, "Public Key Algorithm: ", kCrLf, false, value)) report += Line("PKeyAlg=", value);
    report += "PKey=" + kCrLf + PublicKeyLines(dump) + kCrLf;
    return report;
}

}  // namespace vorlan
