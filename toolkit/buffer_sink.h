// BufferSink: a write-only OpenSSL BIO over caller memory of a fixed capacity, so that an
// operation writes its output where the caller wants it instead of into a growing copy.
#pragma once

#include <cstddef>

#include "ossl.h"

namespace vtk {

class BufferSink {
public:
    // BufferSink: writes go to at, capacity bytes at most; a write that does not fit fails
    // whole and writes nothing.
    BufferSink(unsigned char* at, std::size_t capacity);
    BufferSink(const BufferSink&) = delete;
    BufferSink& operator=(const BufferSink&) = delete;

    BIO* Bio() const { return bio_.get(); }
    // Written: the number of bytes written so far.
    std::size_t Written() const { return written_; }

private:
    static int Write(BIO* bio, const char* data, int size);
    static long Control(BIO* bio, int command, long number, void* pointer);

    unsigned char* at_;
    std::size_t capacity_;
    std::size_t written_ = 0;
    BioPtr bio_;
};

}  // namespace vtk
