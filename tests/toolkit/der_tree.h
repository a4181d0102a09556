// DerNode: a DER structure as an editable tree, so that tests can build messages that are
// well formed but carry values a sender should not send (lengths, tags, OIDs).
#pragma once

#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

namespace tkt {

struct DerNode {
    unsigned char tag = 0;
    std::string content;            // primitive elements
    std::vector<DerNode> children;  // constructed elements

    bool Constructed() const { return (tag & 0x20) != 0; }

    // Parse: the tree of the DER element at the start of der (definite lengths only).
    static DerNode Parse(const std::string& der) {
        std::size_t at = 0;
        return ParseAt(der, at, der.size());
    }

    // Encode: the DER bytes of the tree, lengths recomputed.
    std::string Encode() const {
        std::string body = content, length;
        for (const auto& c : children) body += c.Encode();
        for (std::size_t n = body.size(); body.size() > 0x7F && n != 0; n >>= 8)
            length.insert(length.begin(), static_cast<char>(n & 0xFF));
        length.insert(length.begin(), static_cast<char>(length.empty() ? body.size() : 0x80 | length.size()));
        return static_cast<char>(tag) + length + body;
    }

    // At: the node reached by child indexes from this one.
    DerNode& At(std::initializer_list<std::size_t> path) {
        DerNode* n = this;
        for (std::size_t i : path) n = &n->children.at(i);
        return *n;
    }

private:
    static DerNode ParseAt(const std::string& der, std::size_t& at, std::size_t end) {
        auto byte = [&]() -> unsigned char {
            if (at >= end) throw std::runtime_error("DER: truncated");
            return static_cast<unsigned char>(der[at++]);
        };
        DerNode node;
        node.tag = byte();
        std::size_t length = byte();
        if (length & 0x80) {
            const std::size_t count = length & 0x7F;
            length = 0;
            for (std::size_t i = 0; i < count; ++i) length = (length << 8) | byte();
        }
        if (end - at < length) throw std::runtime_error("DER: truncated");
        const std::size_t stop = at + length;
        if (node.Constructed()) {
            while (at < stop) node.children.push_back(ParseAt(der, at, stop));
        } else {
            node.content = der.substr(at, length);
            at = stop;
        }
        return node;
    }
};

}  // namespace tkt
