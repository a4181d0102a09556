// Fuzz target: GetPublicKeyBlockByTransfer on transfer texts and on bodies that pass the
// (fake) signature check. First byte: bit 0 set, the rest is the text itself; else bits 1-2
// choose a body: the rest over a zeroed short (8452) or long (13828) body, the rest as the
// whole body, or a short body with the rest as its tail.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "binding/base64.h"
#include "engine/transfer_record.h"
#include "fake_engine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vorlan;
    if (size < 1 || size > (1u << 16)) return 0;
    const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::string text;
    if (data[0] & 1) {
        text = rest;
    } else {
        std::string body;
        switch ((data[0] >> 1) & 3) {
        case 0: body.assign(kTransferRecordSize, '\0'); break;
        case 1: body.assign(kLongTransferBodySize, '\0'); break;
        case 2: body = rest; break;
        default: body = std::string(kTransferRecordSize, '\0') + rest; break;
        }
        std::memcpy(body.data(), rest.data(), std::min(rest.size(), body.size()));
        text = Base64Encode(body.data(), static_cast<std::int32_t>(body.size()));
    }
    TransferBlock out;
    const std::int32_t code = fuzz::FakeEngine::Get().GetPublicKeyBlockByTransfer(text.c_str(), out);
    if (code != 0 && code != -101 && code != -112) std::abort();
    if (code == 0) {
        if (out.owner.size() >= kTransferOwnerSize || out.owner.find('\0') != std::string::npos) std::abort();
        if (out.block.size() > kTransferBlockCapacity) std::abort();
        // What was read packs into a record that reads back the same.
        TransferBlock again;
        if (!UnpackTransferBody(PackTransferRecord(out.owner, out.block), again) || again.owner != out.owner ||
            again.block != out.block)
            std::abort();
    }
    return 0;
}
