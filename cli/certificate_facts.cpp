#include "certificate_facts.h"

#include <map>

#include "data_files.h"

namespace vorlan::cli {

namespace {

// The name fields of a report in the order a subject line gives them.
const char* const kNameFields[][2] = {{"C", "C"}, {"S", "ST"}, {"L", "L"}, {"O", "O"}, {"OU", "OU"},
                                      {"CN", "CN"}, {"E", "E"}, {"T", "T"}};

// SubjectLine: "/C=RU/O=Bank/CN=USER01" of the name fields under prefix ("" or "I"), a "/"
// or "\" inside a value escaped with "\".
std::string SubjectLine(const std::map<std::string, std::string>& values, const std::string& prefix) {
    std::string line;
    for (const auto& [key, tag] : kNameFields) {
        const auto found = values.find(prefix + key);
        if (found == values.end() || found->second.empty()) continue;
        line += std::string("/") + tag + "=";
        for (char c : found->second) line += c == '/' || c == '\\' ? std::string("\\") + c : std::string(1, c);
    }
    return line;
}

}  // namespace

CertificateFacts CertificateFacts::FromReport(const std::string& report) {
    std::map<std::string, std::string> values;
    const std::string lines = ReportLines(report) + "\n";
    for (std::size_t at = 0, end; (end = lines.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = lines.substr(at, end - at);
        const auto equals = line.find('=');
        if (equals != std::string::npos) values.emplace(line.substr(0, equals), line.substr(equals + 1));
    }
    CertificateFacts facts;
    facts.subject = SubjectLine(values, "");
    facts.issuer = SubjectLine(values, "I");
    facts.serial = values["SN"];
    facts.notBefore = values["NotBefore"];
    facts.notAfter = values["NotAfter"];
    return facts;
}

std::vector<std::string> CertificateFacts::Lines() const {
    std::vector<std::string> lines;
    for (const auto& [label, value] : {std::pair<const char*, const std::string&>{"subject", subject}, {"issuer", issuer},
                                       {"serial", serial}})
        if (!value.empty()) lines.push_back(std::string(label) + " " + Printable(value, 1024));
    return lines;
}

}  // namespace vorlan::cli
