// The fixture of the end-to-end suites: an installation per algorithm (GOST, RSA) and
// helpers that call the exports.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "installation.h"

namespace vorlan::test {

class ExchangeTest : public InstallationTest {
protected:
    // Sign: a detached signature of data by the user's engine.
    std::string Sign(VORLAN_HANDLE h, const std::string& data) {
        std::string signature(static_cast<std::size_t>(GetMaxSignatureLength(h)), '\0');
        auto length = static_cast<std::int32_t>(signature.size());
        const std::int32_t code = SignData(h, Bytes(data), Size(data), Bytes(signature), &length, nullptr);
        EXPECT_EQ(code, 0) << ErrorText(h, code);
        signature.resize(static_cast<std::size_t>(length));
        return signature;
    }
    static unsigned char* Bytes(std::string& s) { return reinterpret_cast<unsigned char*>(s.data()); }
    static const unsigned char* Bytes(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }
    static std::int32_t Size(const std::string& s) { return static_cast<std::int32_t>(s.size()); }

    const std::string message_ = "Payment order 42: 1000.00 RUB to account 40702810000000000001";
};

}  // namespace vorlan::test
