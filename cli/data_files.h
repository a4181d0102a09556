// The files a command reads and writes: "-" is standard input or output; a file written is
// replaced in one rename, so a failed command leaves no half-written output behind.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vorlan::cli {

// ReadInput: the whole content of a file, or of standard input for "-"; throws Failure when
// it cannot be read or is longer than limit bytes.
std::string ReadInput(const std::string& name, std::size_t limit);
// WriteOutput: the bytes to a file (replaced in one rename), or to standard output for "-";
// throws Failure when they cannot be written.
void WriteOutput(const std::string& name, std::string_view data);
// ExistingFile: the absolute path of a file the library is to read; throws Failure naming a
// missing file before the library answers with a code of its own.
std::string ExistingFile(const std::string& name);
// ReadTransfer: a transfer file's text without the line ends and blanks around it; throws
// Failure for a text no transfer can be.
std::string ReadTransfer(const std::string& name, std::size_t maxLength);

// ReportLines: a report of the library (lines ended by CR LF) as lines ended by "\n", without
// the last line end.
std::string ReportLines(const std::string& report);

}  // namespace vorlan::cli
