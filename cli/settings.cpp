#include "settings.h"

#include <cctype>
#include <fstream>
#include <iterator>
#include <sstream>

#include "failure.h"

namespace vorlan::cli {

namespace {

// No installation needs more: a larger file is not a settings file.
constexpr std::size_t kMaxSettingsSize = 64 * 1024;

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool SameKey(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

// Split: the key and value of an entry line; false for a blank line or a comment.
bool Split(const std::string& line, std::string& key, std::string& value) {
    const std::string text = Trim(line);
    if (text.empty() || text[0] == '#') return false;
    const auto equals = text.find('=');
    if (equals == std::string::npos) throw std::invalid_argument("no \"=\"");
    key = Trim(text.substr(0, equals));
    value = Trim(text.substr(equals + 1));
    if (key.empty()) throw std::invalid_argument("no key before \"=\"");
    return true;
}

}  // namespace

Settings Settings::Parse(const std::string& text, const std::string& fileName) {
    if (text.size() > kMaxSettingsSize)
        throw Failure(fileName + ": longer than " + std::to_string(kMaxSettingsSize) + " bytes, not a settings file");
    if (text.find('\0') != std::string::npos) throw Failure(fileName + ": holds a zero byte, not a settings file");
    Settings settings;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::string key, value;
        try {
            Split(line, key, value);
        } catch (const std::invalid_argument& e) {
            throw Failure(fileName + " line " + std::to_string(settings.lines_.size() + 1) + ": " + e.what() +
                          " (lines are \"key = value\" or \"# comment\")");
        }
        settings.lines_.push_back(line);
    }
    return settings;
}

Settings Settings::Load(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw Failure("cannot read " + file.string());
    std::string text;
    // One byte past the limit is enough for Parse to refuse the file.
    text.resize(kMaxSettingsSize + 1);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return Parse(text, file.string());
}

std::string Settings::Text() const {
    std::string text;
    for (const std::string& line : lines_) text += line + "\n";
    return text;
}

std::vector<SettingsEntry> Settings::Entries() const {
    std::vector<SettingsEntry> entries;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        SettingsEntry entry{{}, {}, static_cast<int>(i + 1)};
        if (Split(lines_[i], entry.key, entry.value)) entries.push_back(entry);
    }
    return entries;
}

std::optional<std::string> Settings::Get(const std::string& key) const {
    std::optional<std::string> found;
    for (const SettingsEntry& entry : Entries())
        if (SameKey(entry.key, key)) found = entry.value;  // the last entry of a key counts
    return found;
}

void Settings::Set(const std::string& key, const std::string& value, std::optional<int> line) {
    // One line per entry: a value cannot carry a line of its own into the file.
    if (value.find_first_of("\r\n") != std::string::npos || key.find_first_of("=\r\n#") != std::string::npos)
        throw UsageError("a setting is one line, and its key has no \"=\" or \"#\"");
    if (!line) {
        for (const SettingsEntry& entry : Entries())
            if (SameKey(entry.key, key)) line = entry.line;
    }
    if (line && *line >= 1 && static_cast<std::size_t>(*line) <= lines_.size()) {
        std::string existing, ignored;
        Split(lines_[static_cast<std::size_t>(*line - 1)], existing, ignored);
        lines_[static_cast<std::size_t>(*line - 1)] = existing + " = " + value;
        return;
    }
    lines_.push_back(key + " = " + value);
}

void Settings::Comment(const std::string& text) { lines_.push_back("# " + text); }

}  // namespace vorlan::cli
