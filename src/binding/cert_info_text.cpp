// Building the certificate information text from the toolkit's records.
#include "binding/cert_info_text.h"

#include <utility>

#include "binding/line_escape.h"

namespace vorlan {
namespace {

const std::string kCrLf = "\r\n";

std::string Text(const char* value) { return value ? std::string(value) : std::string(); }

// Value: a record text as it stands on its line; a control byte inside cannot end the line.
std::string Value(const std::string& text) { return mpro::EscapeControlBytes(text); }

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    std::string out;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(from, start)) != std::string::npos; start = at + from.size())
        out.append(text, start, at - start).append(to);
    out.append(text, start, std::string::npos);
    return out;
}

std::string TrimControlAndSpace(const std::string& text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
    return text.substr(first, last - first);
}

}  // namespace

std::string FormatNameLines(const mpro::NameRecord& name, const std::string& prefix) {
    const std::pair<const char*, const char*> fields[] = {{"CN=", name.CN}, {"C=", name.C},   {"S=", name.S},
                                                          {"L=", name.L},   {"O=", name.O},   {"OU=", name.OU},
                                                          {"E=", name.E},   {"T=", name.T}};
    std::string lines;
    for (const auto& [key, value] : fields)
        if (value && *value) lines += prefix + key + Value(value) + kCrLf;
    return lines;
}

std::string FormatCertDate(const std::string& date) {
    std::string t = date;
    for (char& c : t)
        if (c == '.') c = '-';
    return t.substr(0, 6) + (t.size() > 8 ? t.substr(8) : std::string());
}

std::string FormatPublicKeyText(const std::string& description) {
    std::string result;
    std::string d = description;
    if (d.empty()) return result;
    static const std::string label = "Public Key Algorithm: ";
    const std::size_t labelAt = d.find(label);
    const std::size_t lineEnd = d.find('\n');
    if (labelAt != std::string::npos && lineEnd != std::string::npos && labelAt < lineEnd) {
        const std::size_t from = labelAt + label.size();
        std::string algorithm = d.substr(from, lineEnd > from ? lineEnd - from : 0);
        if (!algorithm.empty() && algorithm.back() == '\r') algorithm.pop_back();  // a CR LF line end
        result += "PKeyAlg=" + Value(algorithm) + kCrLf;
    }
    if (lineEnd != std::string::npos && lineEnd + 1 < d.size()) d = d.substr(lineEnd + 1);
    d = TrimControlAndSpace(ReplaceAll(d, "        ", ""));
    d = ReplaceAll(d, "\n", kCrLf);
    result += "PKey=" + kCrLf + d + kCrLf + kCrLf;
    return result;
}

std::string CertInfoText(const mpro::CertInfoRecord& record) {
    std::string text = "SN=" + Value(Text(record.SerialNumber)) + kCrLf;
    text += FormatNameLines(record.Issuer, "I");
    text += FormatNameLines(record.Subject, "");
    text += "NotBefore=" + Value(FormatCertDate(Text(record.NotBefore))) + kCrLf;
    text += "NotAfter=" + Value(FormatCertDate(Text(record.NotAfter))) + kCrLf;
    text += FormatPublicKeyText(Text(record.PublicKey));
    return text;
}

std::string ReqInfoText(const mpro::ReqInfoRecord& record) {
    return FormatNameLines(record.Subject, "") + FormatPublicKeyText(Text(record.PublicKey));
}

}  // namespace vorlan
