// Fuzz target: VerifyData of the real toolkit, as USER02 in GOST and in RSA, on arbitrary
// detached signatures. An input is a 2-byte little-endian data length, the data and the
// signature. Seeds: USER01's real signatures.
#include <cstdlib>
#include <vector>

#include "toolkit_fixture.h"

namespace {

using namespace vorlan::fuzz;

std::string Input(const Parties& parties, const std::string& data) {
    std::string input{static_cast<char>(data.size() & 0xFF), static_cast<char>(data.size() >> 8)};
    return input + data + Sign(parties, data, false);
}

std::vector<Seed> MakeSeeds(const Parties& parties) {
    return {{"order", Input(parties, "payment order 42")}, {"one_byte", Input(parties, "!")}};
}

}  // namespace

VORLAN_FUZZ_SEEDS(MakeSeeds)

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    if (size < 2 || size > (1u << 16)) return 0;
    const std::size_t dataSize = std::min<std::size_t>(input[0] | (input[1] << 8), size - 2);
    // Separate copies, so that a read past either is seen.
    const std::vector<unsigned char> data(input + 2, input + 2 + dataSize);
    const std::vector<unsigned char> signature(input + 2 + dataSize, input + size);
    std::vector<char> signer(static_cast<std::size_t>(mpro::GetMaxUIDLength()));
    for (const Parties& parties : Toolkit()) {
        std::int32_t length = static_cast<std::int32_t>(data.size());
        mpro::VerifyData(parties.receiver, data.data(), &length, signature.data(), static_cast<std::int32_t>(signature.size()),
                         signer.data());
    }
    return 0;
}
