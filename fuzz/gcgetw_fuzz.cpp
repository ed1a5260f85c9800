// Reply reception over any bytes from the controller: records of any bytes,
// no CR, overlong records, signal characters, XON/XOFF, top-bit bytes, into
// buffers of any size and with or without a time-out.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "core/errors.h"
#include "line.h"
#include "link/framing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 3000) return 0;
    fuzzline::open_line();
    FuzzedDataProvider in(data, size);
    const int32_t len = in.ConsumeIntegralInRange<int32_t>(0, 140);
    const float timeout = in.ConsumeBool() ? 0.0f : 0.005f;
    const int records = in.ConsumeIntegralInRange<int>(1, 3);
    fuzzline::begin({in.ConsumeRemainingBytesAsString()});
    // Exact size, so a store past the buffer is caught.
    auto buf = std::make_unique<char[]>(len == 0 ? 1 : static_cast<size_t>(len));
    for (int r = 0; r < records; ++r) {
        int32_t count = -5;
        int32_t status = -5;
        gonioctl::GCGETW(buf.get(), len, timeout, count, status);
        if (count < 0 || count > (len > 1 ? len : 1)) std::abort();
        if (status == 0 && count > 0 && count <= len && buf[count - 1] == '\r') {
            // A record: 7-bit characters, no LF, XON or XOFF kept.
            for (int32_t k = 0; k < count; ++k) {
                const auto c = static_cast<unsigned char>(buf[k]);
                if (c > 127 || c == 10 || c == 17 || c == 19) std::abort();
            }
        }
        if (status != 0) break;
    }
    fuzzline::end();
    return 0;
}
