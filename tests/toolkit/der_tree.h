// DerNode: a DER structure as an editable tree, so that tests can build messages that are
// well formed but carry values a sender should not send (lengths, tags, OIDs).
#pragma once

#include <cstdint>
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

    // Parse: the tree of one DER element (definite lengths only).
    static DerNode Parse(const std::string& der) {
        std::size_t at = 0;
        DerNode node = ParseAt(der, at);
        if (at != der.size()) throw std::runtime_error("DER: bytes after the element");
        return node;
    }

    // Encode: the DER bytes of the tree, lengths recomputed.
    std::string Encode() const {
        std::string body;
        if (Constructed())
            for (const auto& c : children) body += c.Encode();
        else
            body = content;
        std::string out(1, static_cast<char>(tag));
        if (body.size() < 0x80) {
            out += static_cast<char>(body.size());
        } else {
            std::string len;
            for (std::size_t n = body.size(); n != 0; n >>= 8) len.insert(len.begin(), static_cast<char>(n & 0xFF));
            out += static_cast<char>(0x80 | len.size());
            out += len;
        }
        return out + body;
    }

    // At: the node reached by child indexes from this one.
    DerNode& At(std::initializer_list<std::size_t> path) {
        DerNode* n = this;
        for (std::size_t i : path) n = &n->children.at(i);
        return *n;
    }

private:
    static DerNode ParseAt(const std::string& der, std::size_t& at) {
        auto byte = [&]() -> unsigned char {
            if (at >= der.size()) throw std::runtime_error("DER: truncated");
            return static_cast<unsigned char>(der[at++]);
        };
        DerNode node;
        node.tag = byte();
        std::size_t length = byte();
        if (length & 0x80) {
            std::size_t count = length & 0x7F;
            if (count == 0) throw std::runtime_error("DER: indefinite length");
            length = 0;
            while (count-- != 0) length = (length << 8) | byte();
        }
        if (der.size() - at < length) throw std::runtime_error("DER: truncated");
        const std::size_t end = at + length;
        if (node.Constructed()) {
            while (at < end) node.children.push_back(ParseAt(der, at));
            if (at != end) throw std::runtime_error("DER: element overruns its parent");
        } else {
            node.content = der.substr(at, length);
            at = end;
        }
        return node;
    }
};

}  // namespace tkt
