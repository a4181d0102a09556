// The key database exchange as steps of a FileChange, so that the finish of key renewal can
// make it one change with the rest of its files; TMProDLL::ExchangeKeyFiles runs it alone.
#pragma once

#include <string>

#include "support/file_change.h"

namespace vorlan {

// KeySetsComplete: both key databases (target T, source S) and both certificates exist;
// without them an exchange changes nothing.
bool KeySetsComplete(const std::string& targetDir, const std::string& sourceDir, const std::string& targetCertificate,
                     const std::string& sourceCertificate);
// PlanKeyFileExchange: the steps that put the key database of S (and its certificate) in
// place of T's, each current file kept as its ".old" copy; an optional file that S lacks
// goes from T.
void PlanKeyFileExchange(FileChange& change, const std::string& targetDir, const std::string& sourceDir,
                         const std::string& targetCertificate, const std::string& sourceCertificate);
// BackupName: the ".old" copy of a certificate file: its extension replaced (appended when none).
std::string BackupName(const std::string& file);
// DirectoryOf: the directory part of a path, with its trailing separator ("" when none).
std::string DirectoryOf(const std::string& path);

}  // namespace vorlan
