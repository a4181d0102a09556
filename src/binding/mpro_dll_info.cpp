// The binding operations that have the toolkit fill a certificate or request record and
// turn it into the certificate information text.
#include "binding/cert_info_text.h"
#include "binding/context_call.h"
#include "binding/mpro_dll.h"

namespace vorlan {
namespace {

// Fills a zeroed record through the toolkit, builds the text on success and always hands
// the record back to the toolkit's free function.
template <class Record, class Get, class Free, class Build>
std::int32_t InfoText(const TMProDLL& binding, const ParamVector& v, const unsigned char* data, std::int32_t length,
                      std::string& text, Get get, Free release, Build build) {
    text.clear();
    if (!get || !release) return -1;
    return CallWithContext(binding, v, -1, [&](mpro::Context c) {
        Record record{};
        struct Releaser {
            Free release;
            mpro::Context context;
            Record* record;
            ~Releaser() { release(context, record); }
        } releaser{release, c, &record};
        const std::int32_t r = get(c, data, length, &record);
        if (r == 0) text = build(record);
        return r;
    });
}

}  // namespace

std::int32_t TMProDLL::GetCertInfoText(const ParamVector& v, const unsigned char* data, std::int32_t length,
                                       std::string& text) {
    return InfoText<mpro::CertInfoRecord>(*this, v, data, length, text, Fn.GetCertInfoEx, Fn.FreeCertInfo,
                                          CertInfoText);
}

std::int32_t TMProDLL::GetReqInfoText(const ParamVector& v, const unsigned char* data, std::int32_t length,
                                      std::string& text) {
    return InfoText<mpro::ReqInfoRecord>(*this, v, data, length, text, Fn.GetReqInfo, Fn.FreeReqInfo, ReqInfoText);
}

}  // namespace vorlan
