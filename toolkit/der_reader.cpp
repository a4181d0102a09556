#include "der_reader.h"

namespace vtk {

std::optional<DerReader::Element> DerReader::Next() const {
    if (rest_.size() < 2) return std::nullopt;
    const unsigned char tag = rest_[0];
    if ((tag & 0x1F) == 0x1F || tag == 0) return std::nullopt;  // multi-byte tags, end-of-contents
    std::size_t at = 1;
    std::size_t length = rest_[at++];
    if (length & 0x80) {
        const std::size_t count = length & 0x7F;
        // No indefinite length, at most four length bytes, no leading zero byte.
        if (count == 0 || count > 4 || rest_.size() - at < count || rest_[at] == 0) return std::nullopt;
        length = 0;
        for (std::size_t i = 0; i < count; ++i) length = (length << 8) | rest_[at++];
        if (length < 0x80) return std::nullopt;  // the short form was due
    }
    if (rest_.size() - at < length) return std::nullopt;
    return Element{tag, rest_.subspan(at, length), at + length};
}

std::optional<unsigned char> DerReader::PeekTag() const {
    if (rest_.empty()) return std::nullopt;
    return rest_[0];
}

std::optional<DerBytes> DerReader::Take(unsigned char tag) {
    auto e = Next();
    if (!e || e->tag != tag) return std::nullopt;
    rest_ = rest_.subspan(e->size);
    return e->content;
}

std::optional<DerReader> DerReader::Enter(unsigned char tag) {
    if ((tag & 0x20) == 0) return std::nullopt;
    auto content = Take(tag);
    if (!content) return std::nullopt;
    return DerReader(*content);
}

bool DerReader::Skip() {
    auto e = Next();
    if (!e) return false;
    rest_ = rest_.subspan(e->size);
    return true;
}

}  // namespace vtk
