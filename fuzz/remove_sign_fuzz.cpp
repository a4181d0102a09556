// Fuzz target: RemoveSign's toolkit call (VerifyData on the whole message, no separate
// signature) of the real toolkit, as USER02 in GOST and in RSA, on arbitrary attached
// messages. Seeds: USER01's real attached signatures.
#include <cstdlib>
#include <vector>

#include "toolkit_fixture.h"

namespace {

using namespace vorlan::fuzz;

std::vector<Seed> MakeSeeds(const Parties& parties) {
    return {{"order", Sign(parties, "payment order 42", true)}, {"long", Sign(parties, std::string(500, 'z'), true)}};
}

}  // namespace

VORLAN_FUZZ_SEEDS(MakeSeeds)

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<char> signer(static_cast<std::size_t>(mpro::GetMaxUIDLength()));
    ForEachReceiver(data, size, [&](mpro::Context receiver, std::string& message) {
        const std::int32_t whole = Length(message);
        std::int32_t length = whole;
        if (mpro::VerifyData(receiver, Bytes(message), &length, nullptr, whole, signer.data()) == 0 &&
            (length < 0 || length > whole))
            std::abort();  // data longer than the signed message
    });
    return 0;
}
