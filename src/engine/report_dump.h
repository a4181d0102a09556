// The report of a toolkit text dump of a certificate or request: key=value lines (CR LF)
// taken from the dump's markers, in the order SN, issuer, dates, subject, PKeyAlg, PKey.
#pragma once

#include <string>

namespace vorlan {

// ReportFromDump: the report of a dump with CR LF or LF line ends (without a terminating
// zero). Keys whose marker is missing are left out; a "PKey=" line is always there. The
// values of the other keys are one line each: control bytes inside are escaped (as in
// binding/line_escape.h). Raises EConvertError for a validity date whose day is not a number.
std::string ReportFromDump(std::string dump);

}  // namespace vorlan
