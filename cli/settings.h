// Settings: the installation's settings file, lines of "key = value" with "#" comments.
// Keys are engine parameters (by number or by name) and the host's own settings; the file
// keeps its comments and order when a value changes.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vorlan::cli {

// kSettingsFileName: the file in the installation root.
inline constexpr const char* kSettingsFileName = "vorlan.conf";
// The host's own keys: the remote generation directory and the key generation utility.
inline constexpr const char* kRemoteGenerateKey = "RemoteGeneratePath";
inline constexpr const char* kKeyGeneratorKey = "KeyGenerator";

struct SettingsEntry {
    std::string key;
    std::string value;
    int line;  // from 1, for messages
};

class Settings {
public:
    // Parse: the settings of a file's text; throws Failure naming the line of a line that is
    // neither a comment nor "key = value", and for a text beyond the size any settings file has.
    static Settings Parse(const std::string& text, const std::string& fileName);
    // Load: Parse of the file; throws Failure when it cannot be read.
    static Settings Load(const std::filesystem::path& file);
    // Text: the file's text, with every change made since it was parsed.
    std::string Text() const;

    // Entries: every key = value entry in file order.
    std::vector<SettingsEntry> Entries() const;
    // Get: the value of a key (compared without regard to case).
    std::optional<std::string> Get(const std::string& key) const;
    // Set: replaces the value of the entry at line (from Entries), or appends "key = value".
    void Set(const std::string& key, const std::string& value, std::optional<int> line = std::nullopt);
    // Comment: appends a comment line.
    void Comment(const std::string& text);

private:
    std::vector<std::string> lines_;
};

}  // namespace vorlan::cli
