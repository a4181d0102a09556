// DerReader: a strict reader of DER elements (one-byte tags, definite lengths in their
// shortest form, nothing beyond an element's end), for looking at a structure before
// OpenSSL or the GOST engine are handed it.
#pragma once

#include <cstddef>
#include <optional>
#include <span>

namespace vtk {

using DerBytes = std::span<const unsigned char>;

// DER tags used by the readers of this toolkit.
namespace der {
constexpr unsigned char kInteger = 0x02;
constexpr unsigned char kOctetString = 0x04;
constexpr unsigned char kOid = 0x06;
constexpr unsigned char kSequence = 0x30;
constexpr unsigned char kSet = 0x31;
// Context(n, constructed): the tag [n] of a context-specific element.
constexpr unsigned char Context(unsigned n, bool constructed) {
    return static_cast<unsigned char>(0x80 | (constructed ? 0x20 : 0) | n);
}
}  // namespace der

class DerReader {
public:
    explicit DerReader(DerBytes bytes) : rest_(bytes) {}

    // AtEnd: whether every element has been read.
    bool AtEnd() const { return rest_.empty(); }
    // PeekTag: the tag of the next element, nullopt at the end.
    std::optional<unsigned char> PeekTag() const;
    // Take: the content of the next element when it is well formed and has this tag;
    // nullopt (and nothing read) otherwise.
    std::optional<DerBytes> Take(unsigned char tag);
    // Enter: a reader over the content of the next element (a constructed tag).
    std::optional<DerReader> Enter(unsigned char tag);
    // Skip: reads the next element whatever its tag; false when it is malformed.
    bool Skip();

private:
    struct Element {
        unsigned char tag;
        DerBytes content;
        std::size_t size;  // tag, length and content
    };
    std::optional<Element> Next() const;

    DerBytes rest_;
};

}  // namespace vtk
