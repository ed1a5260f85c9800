// READREAL over any bytes: never reads outside the field, and leaves the
// value alone unless it reports success.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "core/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // An exact-size copy, so a read one past the field is caught.
    auto field = std::make_unique<char[]>(size == 0 ? 1 : size);
    if (size > 0) std::memcpy(field.get(), data, size);
    const float before = 12345.0f;
    float value = before;
    const int32_t st = gonioctl::READREAL(field.get(), static_cast<int32_t>(size), value);
    if (st != 0 && value != before) std::abort();
    if (st == -1 && gonioctl::SKIPSET(field.get(), static_cast<int32_t>(size), " ", 1) == 0 &&
        value != before)
        std::abort();
    return 0;
}
