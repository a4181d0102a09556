// FinishJournal: what the finish of a key renewal changed in the PSE and the certificate
// directory, undone in reverse order when the finish fails, so the PSE keeps its old keys.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vorlan {

class FinishJournal {
public:
    FinishJournal() = default;
    FinishJournal(const FinishJournal&) = delete;
    FinishJournal& operator=(const FinishJournal&) = delete;
    // ~FinishJournal: rolls back unless Commit was called; never throws.
    ~FinishJournal();

    // Before the toolkit installs a new signature key: where the current one lives and the
    // signature public key's content (nullopt: no such file).
    void BeforeKeySwap(std::string keyHome, std::string publicKeyFile);
    // KeySwapped: the toolkit installed the new key; the old one is now at oldKey ("" for none).
    void KeySwapped(std::string oldKey);
    // OldKeyMoved: the old signature key was moved on to `to` (its archive).
    void OldKeyMoved(std::string to) { oldKey_ = std::move(to); }
    // SetAside: moves a file to a free name beside it; false when it could not be moved.
    bool SetAside(const std::string& file);
    // Created: a file that did not exist before the finish.
    void Created(std::string file) { created_.push_back(std::move(file)); }
    // Commit: the finish is complete; the set-aside files are deleted.
    void Commit();

private:
    void RestoreSignatureKey();
    std::string keyHome_, publicKeyFile_, oldKey_;
    std::optional<std::string> publicKeyBefore_;
    bool keyHomeExisted_ = false;
    bool publicKeyExisted_ = false;
    bool swapped_ = false;
    std::vector<std::pair<std::string, std::string>> setAside_;  // original, aside
    std::vector<std::string> created_;
    bool committed_ = false;
};

}  // namespace vorlan
