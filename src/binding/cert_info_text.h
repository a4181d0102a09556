// The certificate information text: key=value lines (CR LF) built from the toolkit's
// certificate and request records.
#pragma once

#include <string>

#include "binding/toolkit_api.h"

namespace vorlan {

// Values are written with their control bytes escaped (binding/line_escape.h), so none can
// end its line and pose as another key.
// FormatNameLines: one line prefix + key + "=" + value per non-empty field, in the order
// CN, C, S, L, O, OU, E, T.
std::string FormatNameLines(const mpro::NameRecord& name, const std::string& prefix);
// FormatCertDate: "." becomes "-" and characters 7 and 8 are dropped (31.12.2009 -> 31-12-09).
std::string FormatCertDate(const std::string& date);
// FormatPublicKeyText: the public key block (optional "PKeyAlg=" line, "PKey=" and the key
// text, ending in an empty line); empty for an empty description. The description's first
// line may end in LF or CR LF.
std::string FormatPublicKeyText(const std::string& description);
// CertInfoText: the whole text of a certificate record.
std::string CertInfoText(const mpro::CertInfoRecord& record);
// ReqInfoText: the whole text of a request record.
std::string ReqInfoText(const mpro::ReqInfoRecord& record);

}  // namespace vorlan
