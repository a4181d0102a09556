// Building the certificate information text, and the binding operations that fill the
// toolkit's records and turn them into text.
#include "binding/cert_info_text.h"

#include "binding/context_call.h"
#include "binding/mpro_dll.h"

namespace vorlan {
namespace {

const std::string kCrLf = "\r\n";

std::string Text(const char* value) { return value ? std::string(value) : std::string(); }

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
        if (value && *value) lines += prefix + key + value + kCrLf;
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
        result += "PKeyAlg=" + d.substr(from, lineEnd > from ? lineEnd - from : 0) + kCrLf;
    }
    if (lineEnd != std::string::npos && lineEnd + 1 < d.size()) d = d.substr(lineEnd + 1);
    d = TrimControlAndSpace(ReplaceAll(d, "        ", ""));
    d = ReplaceAll(d, "\n", kCrLf);
    result += "PKey=" + kCrLf + d + kCrLf + kCrLf;
    return result;
}

std::string CertInfoText(const mpro::CertInfoRecord& record) {
    std::string text = "SN=" + Text(record.SerialNumber) + kCrLf;
    text += FormatNameLines(record.Issuer, "I");
    text += FormatNameLines(record.Subject, "");
    text += "NotBefore=" + FormatCertDate(Text(record.NotBefore)) + kCrLf;
    text += "NotAfter=" + FormatCertDate(Text(record.NotAfter)) + kCrLf;
    text += FormatPublicKeyText(Text(record.PublicKey));
    return text;
}

std::string ReqInfoText(const mpro::ReqInfoRecord& record) {
    return FormatNameLines(record.Subject, "") + FormatPublicKeyText(Text(record.PublicKey));
}

namespace {

// Fills a zeroed record through the toolkit, builds the text on success and always hands
// the record back to the toolkit's free function.
template <class Record, class Get, class Free, class Build>
std::int32_t InfoText(const TMProDLL& binding, const ParamVector& v, const unsigned char* data, std::int32_t length,
                      std::string& text, Get get, Free release, Build build) {
    text.clear();
    if (!get || !release) return -1;
    return CallWithContext(binding, v, -1, [&](mpro::Context c) {
        Record record{};
        struct Releaser {
            Free release;
            mpro::Context context;
            Record* record;
            ~Releaser() { release(context, record); }
        } releaser{release, c, &record};
        const std::int32_t r = get(c, data, length, &record);
        if (r == 0) text = build(record);
        return r;
    });
}

}  // namespace

std::int32_t TMProDLL::GetCertInfoText(const ParamVector& v, const unsigned char* data, std::int32_t length,
                                       std::string& text) {
    return InfoText<mpro::CertInfoRecord>(*this, v, data, length, text, Fn.GetCertInfoEx, Fn.FreeCertInfo,
                                          CertInfoText);
}

std::int32_t TMProDLL::GetReqInfoText(const ParamVector& v, const unsigned char* data, std::int32_t length,
                                      std::string& text) {
    return InfoText<mpro::ReqInfoRecord>(*this, v, data, length, text, Fn.GetReqInfo, Fn.FreeReqInfo, ReqInfoText);
}

}  // namespace vorlan
