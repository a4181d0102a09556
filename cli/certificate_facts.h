// CertificateFacts: what vorlan shows of a certificate, read from a report of the library
// (key=value lines): subject and issuer as subject lines, serial number and validity.
#pragma once

#include <string>
#include <vector>

namespace vorlan::cli {

struct CertificateFacts {
    std::string subject, issuer, serial, notBefore, notAfter;

    // FromReport: the facts of a report; fields it lacks stay empty.
    static CertificateFacts FromReport(const std::string& report);
    // Lines: "subject …", "issuer …", "serial …" (those known), each one printable line.
    std::vector<std::string> Lines() const;
};

}  // namespace vorlan::cli
