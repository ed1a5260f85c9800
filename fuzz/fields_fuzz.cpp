// The fixed-field readers (Iw, Fw.d, G16.7) and the free-format list reader
// over any bytes, with any field width and item sequence.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "core/format.h"

namespace {

std::unique_ptr<char[]> exact_copy(const std::string &s) {
    auto p = std::make_unique<char[]>(s.empty() ? 1 : s.size());
    if (!s.empty()) std::memcpy(p.get(), s.data(), s.size());
    return p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider in(data, size);
    const int32_t w = in.ConsumeIntegralInRange<int32_t>(-2, 40);
    const int32_t d = in.ConsumeIntegralInRange<int32_t>(-2, 12);
    const uint8_t items = in.ConsumeIntegral<uint8_t>();
    const std::string text = in.ConsumeRemainingBytesAsString();
    auto buf = exact_copy(text);
    const auto len = static_cast<int32_t>(text.size());
    const int32_t fw = w < len ? w : len;  // callers cut the width at the text

    int32_t iv = -7;
    if (gonioctl::read_i(buf.get(), fw, iv) != 0 && iv != -7) std::abort();
    float fv = -7.0f;
    if (gonioctl::read_f(buf.get(), fw, d, fv) != 0 && fv != -7.0f) std::abort();
    float gv = -7.0f;
    const int32_t gw = fw < 16 ? fw : 16;
    if (gonioctl::read_g16(buf.get(), gw, gv) != 0 && gv != -7.0f) std::abort();

    // Up to eight items, real or integer by the bits of one byte.
    gonioctl::ListReader list(buf.get(), len);
    for (int k = 0; k < 8; ++k) {
        int32_t before = list.offset();
        if ((items >> k) & 1) {
            float v = 0.0f;
            list.real(v);
        } else {
            int32_t v = 0;
            list.integer(v);
        }
        if (list.offset() < before || list.offset() > len) std::abort();
    }
    return 0;
}
