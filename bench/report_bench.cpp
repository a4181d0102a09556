// The report of a certificate dump: ReportFromDump on an RSA-2048 dump as the toolkit prints
// one (about 3 KB), with LF line ends (converted first) and with CR LF.
#include <benchmark/benchmark.h>

#include <string>

#include "engine/report_dump.h"

namespace {

std::string Dump(const std::string& lineEnd) {
    std::string modulus;
    for (int line = 0; line < 18; ++line) modulus += "                    00:c3:11:22:33:44:55:66:77:88:99:aa:bb:cc:dd:" + lineEnd;
    std::string dump = "Certificate:" + lineEnd + "    Data:" + lineEnd + "        Serial Number:" + lineEnd +
                       "            7E8204FEC6FB0E4F5E69BD438BB36ED4CE74FED2" + lineEnd +
                       "        Issuer: C=RU, ST=Moscow, O=Test Bank, CN=Test CA RSA" + lineEnd + "        Validity" + lineEnd +
                       "            Not Before: Jan  5 12:34:56 2026 GMT" + lineEnd +
                       "            Not After : Dec 31 23:59:59 2027 GMT" + lineEnd +
                       "        Subject: C=RU, ST=Moscow, O=Test Bank, CN=USER01" + lineEnd +
                       "        Subject Public Key Info:" + lineEnd + "            Public Key Algorithm: rsaEncryption" +
                       lineEnd + "                Modulus:" + lineEnd + modulus + "                Exponent: 65537" + lineEnd;
    for (int line = 0; line < 20; ++line) dump += "        X509v3 extension line with some text in it" + lineEnd;
    return dump;
}

void BM_ReportFromDump(benchmark::State& state) {
    const std::string dump = Dump(state.range(0) != 0 ? "\r\n" : "\n");
    for (auto _ : state) benchmark::DoNotOptimize(vorlan::ReportFromDump(dump));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * dump.size()));
}
BENCHMARK(BM_ReportFromDump)->Arg(0)->Arg(1)->ArgName("crlf");

}  // namespace

BENCHMARK_MAIN();
