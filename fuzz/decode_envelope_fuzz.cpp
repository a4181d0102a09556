// Fuzz target: DecodeData of the real toolkit, as USER02 in GOST and in RSA, on arbitrary
// envelopes. Seeds: real envelopes from USER01.
#include <cstdlib>
#include <vector>

#include "toolkit_fixture.h"

namespace {

using namespace vorlan::fuzz;

// Envelope: USER01's envelope of text for the recipients' subject lines.
std::string Envelope(const Parties& parties, const std::string& text, const std::string& subjects) {
    std::string buf = text;
    buf.resize(text.size() + 2 * static_cast<std::size_t>(mpro::GetMaxEncodeAddition()));
    std::int32_t length = Length(text);
    if (mpro::EncodeData(parties.sender, Bytes(buf), &length, subjects.c_str()) != 0) std::abort();
    buf.resize(static_cast<std::size_t>(length));
    return buf;
}

std::string SubjectOf(mpro::Context ctx) {
    std::string uid(static_cast<std::size_t>(mpro::GetMaxUIDLength()), '\0');
    if (mpro::GetCurrentUID(ctx, uid.data()) != 0) std::abort();
    return uid.c_str();
}

std::vector<Seed> MakeSeeds(const Parties& parties) {
    const std::string to = SubjectOf(parties.receiver), from = SubjectOf(parties.sender);
    return {{"short", Envelope(parties, "payment order 42", to)},
            {"two_recipients", Envelope(parties, std::string(300, 'x'), from + ";" + to)},
            {"one_byte", Envelope(parties, "!", to)}};
}

}  // namespace

VORLAN_FUZZ_SEEDS(MakeSeeds)

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<char> subject(static_cast<std::size_t>(mpro::GetMaxUIDLength()));
    ForEachReceiver(data, size, [&](mpro::Context receiver, std::string& envelope) {
        std::int32_t length = Length(envelope);
        if (mpro::DecodeData(receiver, Bytes(envelope), &length, subject.data()) == 0 &&
            (length < 0 || static_cast<std::size_t>(length) > size))
            std::abort();  // plain text longer than its envelope
    });
    return 0;
}
