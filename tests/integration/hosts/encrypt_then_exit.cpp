// A host that files a correspondent's certificate (the filed copy keeps the new file's
// time), encrypts for him and returns from main with its report still in stdout's buffer:
// closing the library's cached contexts at exit must not take the process down.
// Usage: encrypt_then_exit ROOT CERTIFICATE RECIPIENT NUMBER=VALUE…
#include <cstdio>
#include <cstdlib>
#include <string>

#include "vorlan13.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: encrypt_then_exit ROOT CERTIFICATE RECIPIENT NUMBER=VALUE...\n");
        return 2;
    }
    VORLAN_HANDLE engine = GetCryptObj(0);
    SetRootPath(engine, argv[1]);
    for (int i = 4; i < argc; ++i) {
        const std::string setting = argv[i];
        const std::size_t eq = setting.find('=');
        if (eq == std::string::npos) return 2;
        SetCryptoParamValue(engine, std::atoi(setting.substr(0, eq).c_str()), setting.c_str() + eq + 1);
    }
    const std::int32_t included = IncludePublicKey(engine, argv[2]);
    std::string buffer = "payment order 42";
    std::int32_t size = static_cast<std::int32_t>(buffer.size());
    buffer.resize(buffer.size() + static_cast<std::size_t>(GetMaxEncodeAddition(engine)));
    const std::int32_t encoded = EncodeData(engine, reinterpret_cast<unsigned char*>(buffer.data()), &size, argv[3]);
    std::printf("IncludePublicKey %d\nEncodeData %d\n", static_cast<int>(included), static_cast<int>(encoded));
    DoneEngine(engine);
    return 0;
}
