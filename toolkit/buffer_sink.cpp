#include "buffer_sink.h"

#include <cstring>

#include "errors.h"
#include "immortal.h"

namespace vtk {

namespace {

struct MethodDeleter {
    void operator()(BIO_METHOD* m) const noexcept { BIO_meth_free(m); }
};

}  // namespace

BufferSink::BufferSink(unsigned char* at, std::size_t capacity) : at_(at), capacity_(capacity) {
    // One method for the process, never freed: sinks may be made until the process ends.
    static Immortal<std::unique_ptr<BIO_METHOD, MethodDeleter>> method([] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "caller buffer");
        if (m != nullptr && (BIO_meth_set_write(m, Write) != 1 || BIO_meth_set_ctrl(m, Control) != 1)) {
            BIO_meth_free(m);
            m = nullptr;
        }
        return m;
    }());
    if (!*method || !(bio_ = BioPtr(BIO_new(method->get())))) Fail(kErrInternal, "Out of memory");
    BIO_set_data(bio_.get(), this);
    BIO_set_init(bio_.get(), 1);
}

int BufferSink::Write(BIO* bio, const char* data, int size) {
    auto* sink = static_cast<BufferSink*>(BIO_get_data(bio));
    if (sink == nullptr || size < 0 || static_cast<std::size_t>(size) > sink->capacity_ - sink->written_) return -1;
    if (size > 0) std::memcpy(sink->at_ + sink->written_, data, static_cast<std::size_t>(size));
    sink->written_ += static_cast<std::size_t>(size);
    return size;
}

long BufferSink::Control(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

}  // namespace vtk
