// The files a command reads and writes: "-" is standard input or output; a file written is
// created new beside its target and renamed into place, so a failed command leaves no
// half-written output behind and no link planted at a name is ever followed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vorlan::cli {

// Contents: what an output holds; private outputs (plaintext, settings) are the owner's
// alone when new (0600, on Windows an owner-only access list), public ones 0644. An output
// that exists keeps its mode.
enum class Contents { Public, Private };

// ReadInput: the whole content of a file, or of standard input for "-"; throws Failure when
// it cannot be read or is longer than limit bytes.
std::string ReadInput(const std::string& name, std::size_t limit);
// WriteOutput: the bytes to a file, or to standard output for "-" and for "" (the default
// output: binary bytes are not sent to a terminal then, a UsageError); throws Failure when
// they cannot be written.
void WriteOutput(const std::string& name, std::string_view data, Contents contents);
// WriteNew: a new file at path with the bytes (never replacing anything); false when the
// name is taken.
bool WriteNew(const std::string& path, std::string_view data, Contents contents);
// ExistingFile: the absolute path of a file the library is to read; throws Failure naming a
// missing file before the library answers with a code of its own.
std::string ExistingFile(const std::string& name);
// ReadTransfer: a transfer file's text without the line ends and blanks around it; throws
// Failure for a text no transfer can be.
std::string ReadTransfer(const std::string& name, std::size_t maxLength);

// ReportLines: a report of the library (lines ended by CR LF) as lines ended by "\n", without
// the last line end; its dates in the ISO form (2025-01-31 12:00:00).
std::string ReportLines(const std::string& report);
// Printable: a text from outside (a UID, a subject value) for one line of output: control
// bytes as \xHH, at most limit bytes of it.
std::string Printable(const std::string& text, std::size_t limit = 256);

}  // namespace vorlan::cli
