// Resolution of Windows-style paths on POSIX file systems and Windows-style masks.
#include "platform/posix_path.h"

#include <dirent.h>

#include <memory>
#include <optional>
#include <vector>

#include "platform/ansi_text.h"
#include "platform/platform.h"
#include "platform/text_chars.h"

namespace vorlan::platform::posix {

namespace {

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};
using DirPtr = std::unique_ptr<DIR, DirCloser>;

// JoinPath: dir + "/" + name, where an empty dir means the current directory.
std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    if (dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

// FindNoCase: the entry of dir that equals name without regard to case, first in name order.
std::optional<std::string> FindNoCase(const std::string& dir, const std::string& name) {
    DirPtr d(::opendir(dir.empty() ? "." : dir.c_str()));
    if (!d) return std::nullopt;
    std::optional<std::string> best;
    while (const dirent* e = ::readdir(d.get())) {
        std::string candidate = e->d_name;
        if (SameTextNoCase(candidate, name) && (!best || candidate < *best)) best = std::move(candidate);
    }
    return best;
}

// Folded: the characters of a name, each in upper case.
std::u32string Folded(const std::string& text) {
    std::u32string chars = AnsiToChars(text);
    for (char32_t& c : chars) c = chars::UpperCase(c);
    return chars;
}

// GlobMatch: "*" any run, "?" one character, others equal without regard to case; the
// characters of mask and name are bytes of ASCII texts or the folded characters of others.
template <typename Text>
bool GlobMatch(const Text& mask, const Text& name) {
    std::size_t m = 0, n = 0, starM = Text::npos, starN = 0;
    auto same = [](auto x, auto y) { return x == y || chars::UpperCase(x) == chars::UpperCase(y); };
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == '*') {
            starM = m++;
            starN = n;
        } else if (m < mask.size() && (mask[m] == '?' || same(mask[m], name[n]))) {
            ++m;
            ++n;
        } else if (starM != Text::npos) {
            m = starM + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') ++m;
    return m == mask.size();
}

// MatchWhole: GlobMatch without decoding when both texts are ASCII.
bool MatchWhole(const std::string& mask, const std::string& name) {
    if (chars::IsAscii(mask) && chars::IsAscii(name)) return GlobMatch(mask, name);
    return GlobMatch(Folded(mask), Folded(name));
}

}  // namespace

bool SameTextNoCase(const std::string& a, const std::string& b) { return SameAnsiNoCase(a, b); }

bool MatchMask(const std::string& mask, const std::string& name) {
    if (mask == "*" || mask == "*.*") return true;
    if (MatchWhole(mask, name)) return true;
    // As on Windows, "name.*" also matches a name without any extension.
    return mask.size() >= 2 && mask.compare(mask.size() - 2, 2, ".*") == 0 &&
           MatchWhole(mask.substr(0, mask.size() - 2), name);
}

std::uint32_t ToAttributes(const struct stat& info) {
    std::uint32_t attributes = S_ISDIR(info.st_mode) ? kAttrDirectory : kAttrArchive;
    if ((info.st_mode & S_IWUSR) == 0) attributes |= kAttrReadOnly;
    return attributes;
}

ResolvedPath Resolve(const std::string& path) {
    ResolvedPath result;
    result.path = path;
    for (char& c : result.path)
        if (c == '\\') c = '/';
    if (result.path.empty()) return result;
    if (::stat(result.path.c_str(), &result.info) == 0) {
        result.exists = true;
        return result;
    }

    const bool absolute = result.path.front() == '/';
    const bool trailing = result.path.size() > 1 && result.path.back() == '/';
    std::vector<std::string> parts;
    for (std::size_t pos = 0; pos <= result.path.size();) {
        std::size_t end = result.path.find('/', pos);
        if (end == std::string::npos) end = result.path.size();
        if (end > pos) parts.push_back(result.path.substr(pos, end - pos));
        pos = end + 1;
    }
    auto prefix = [&](std::size_t count) {
        std::string s = absolute ? "/" : "";
        for (std::size_t i = 0; i < count; ++i) s = JoinPath(s, parts[i]);
        return s;
    };

    // The longest prefix that exists as spelled; the full path is known to be missing.
    std::size_t base = parts.size();
    struct stat info {};
    while (base > 0) {
        --base;
        if (base == 0 || ::stat(prefix(base).c_str(), &info) == 0) break;
    }

    std::string current = prefix(base);
    bool resolved = true;
    for (std::size_t i = base; i < parts.size(); ++i) {
        const std::string exact = JoinPath(current, parts[i]);
        if (!resolved || parts[i] == "." || parts[i] == "..") {
            current = exact;
            continue;
        }
        // Component base is known to be missing as spelled; later ones are tried as spelled first.
        if (i > base && ::stat(exact.c_str(), &info) == 0) {
            current = exact;
            continue;
        }
        if (auto match = FindNoCase(current, parts[i])) {
            current = JoinPath(current, *match);
        } else {
            current = exact;
            resolved = false;  // the rest keeps the given spelling
        }
    }
    if (trailing) current += '/';
    result.path = current;
    result.exists = resolved && ::stat(result.path.c_str(), &result.info) == 0;
    return result;
}

}  // namespace vorlan::platform::posix
