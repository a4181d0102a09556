#include "engine/report_dump.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

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

// FieldValue: the value of the first field of name (fields ended by separator, leading blanks
// skipped) that begins with tag; a tag inside a value is no field.
bool FieldValue(const std::string& name, const std::string& separator, const std::string& tag, std::string& value) {
    for (std::size_t start = 0, end = 0; (end = name.find(separator, start)) != std::string::npos;
         start = end + separator.size()) {
        start = std::min(name.find_first_not_of(' ', start), end);
        if (end - start >= tag.size() && name.compare(start, tag.size(), tag) == 0) {
            value = name.substr(start + tag.size(), end - start - tag.size());
            return true;
        }
    }
    return false;
}

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
            if (FieldValue(name, separator, tag, value)) {
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

// WithCrLf: a text with LF line ends given CR LF ones.
std::string WithCrLf(std::string text) { return text.find(kCrLf) == std::string::npos ? ReplaceAll(text, "\n", kCrLf) : text; }

// Lines: the lines of a report, without their CR LF.
std::vector<std::string_view> Lines(std::string_view report) {
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start < report.size();) {
        const std::size_t end = std::min(report.find(kCrLf, start), report.size());
        lines.push_back(report.substr(start, end - start));
        start = end + kCrLf.size();
    }
    return lines;
}

}  // namespace

std::string ReportFromDump(std::string dump) {
    dump = WithCrLf(std::move(dump));
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

std::string KeyReportOfText(std::string text) { return "PKey=" + kCrLf + PublicKeyLines(WithCrLf(std::move(text))) + kCrLf; }

std::string ReportValue(std::string_view report, std::string_view key) {
    for (std::string_view line : Lines(report))
        if (line.substr(0, key.size()) == key) return std::string(line.substr(key.size()));
    return {};
}

std::string IssuerLines(std::string_view report) {
    std::string lines;
    for (std::string_view line : Lines(report))
        if (line.substr(0, 1) == "I") lines.append(line).append(kCrLf);
    return lines;
}

std::string SortableReportDate(std::string_view date) {
    // dd-mm-yy hh:mm:ss: digits where the pattern has "9".
    constexpr std::string_view kPattern = "99-99-99 99:99:99";
    if (date.size() != kPattern.size()) return {};
    for (std::size_t i = 0; i < date.size(); ++i)
        if (kPattern[i] == '9' ? !std::isdigit(static_cast<unsigned char>(date[i])) : date[i] != kPattern[i]) return {};
    const std::string year(date.substr(6, 2));
    return (year < "50" ? "20" : "19") + year + std::string(date.substr(3, 2)) + std::string(date.substr(0, 2)) +
           std::string(date.substr(9, 2)) + std::string(date.substr(12, 2)) + std::string(date.substr(15, 2));
}

}  // namespace vorlan
