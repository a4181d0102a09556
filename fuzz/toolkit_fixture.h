// The toolkit as the fuzz targets meet it: its exported functions linked in, a GOST and an
// RSA test PKI kept in a directory between runs (so that seed messages made for its keys
// stay valid), and USER02's contexts that receive the hostile messages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "toolkit_api.h"

namespace mpro {
MPRO_REQUIRED_FUNCTIONS(MPRO_DECLARE_FN)
MPRO_OPTIONAL_FUNCTIONS(MPRO_DECLARE_FN)
}  // namespace mpro

namespace vorlan::fuzz {

// Parties: the contexts of one algorithm; USER01 sends, USER02 receives.
struct Parties {
    const char* name;  // "gost" or "rsa"
    mpro::Context sender;
    mpro::Context receiver;
};

// Toolkit: the parties of both algorithms (GOST only when the engine loads), made on the
// first call; the PKI lives in VORLAN_FUZZ_PKI or "fuzz_pki" beside the executable.
const std::vector<Parties>& Toolkit();

// Seed: one seed input and the name it is stored under.
struct Seed {
    std::string name;
    std::string bytes;
};
using SeedMaker = std::vector<Seed> (*)(const Parties& parties);

// WriteSeeds: stores the seeds that make() gives for each algorithm in the first corpus
// directory of the command line (libFuzzer reads it after initialisation).
void WriteSeeds(int argc, char** argv, SeedMaker make);

// VORLAN_FUZZ_SEEDS: the target's LLVMFuzzerInitialize, writing the seeds of make.
#define VORLAN_FUZZ_SEEDS(make)                                      \
    extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {   \
        vorlan::fuzz::WriteSeeds(*argc, *argv, make);                \
        return 0;                                                     \
    }

// ForEachReceiver: fn(receiver context, a copy of the input) for each algorithm; inputs
// that are empty or larger than 64 KiB are not run.
template <typename F>
void ForEachReceiver(const std::uint8_t* data, std::size_t size, F&& fn) {
    if (size == 0 || size > (1u << 16)) return;
    for (const Parties& parties : Toolkit()) {
        std::string message(reinterpret_cast<const char*>(data), size);
        fn(parties.receiver, message);
    }
}

// Bytes: a message as the toolkit's in/out buffers take it.
inline unsigned char* Bytes(std::string& s) { return reinterpret_cast<unsigned char*>(s.data()); }
inline std::int32_t Length(const std::string& s) { return static_cast<std::int32_t>(s.size()); }

// Sign: USER01's signature of data, detached, or attached (the data followed by it).
std::string Sign(const Parties& parties, const std::string& data, bool attached);

}  // namespace vorlan::fuzz
