// The report of a toolkit text dump of a certificate or request: key=value lines (CR LF)
// taken from the dump's markers, in the order SN, issuer, dates, subject, PKeyAlg, PKey; and
// the values read back from reports.
#pragma once

#include <string>
#include <string_view>

namespace vorlan {

// ReportFromDump: the report of a dump with CR LF or LF line ends (without a terminating
// zero). Keys whose marker is missing are left out; a "PKey=" line is always there. The
// values of the other keys are one line each: control bytes inside are escaped (as in
// binding/line_escape.h). Raises EConvertError for a validity date whose day is not a number.
std::string ReportFromDump(std::string dump);

// KeyReportOfText: the report of a text that only stands in for a dump (a request's own
// text): its "PKey=" line alone, whatever markers the text holds.
std::string KeyReportOfText(std::string text);

// ReportValue: the value of the first line of a report that begins with key (e.g. "CN=");
// empty when there is none.
std::string ReportValue(std::string_view report, std::string_view key);
// IssuerLines: the issuer lines of a report (keys beginning with "I"), in their order.
std::string IssuerLines(std::string_view report);
// SortableReportDate: a report date "dd-mm-yy hh:mm:ss" as "yyyymmddhhmmss" (two-digit years
// below 50 in this century, as certificates write them); empty for any other text.
std::string SortableReportDate(std::string_view date);

}  // namespace vorlan
