// ENV_TRANSLATE and READRADIX over arbitrary environment names and values:
// chains of variables naming one another, "$" names with their "_" twins,
// values longer than every field, any radix.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/text.h"
#include "support/settings.h"

namespace {

// Names come from a small pool so that values can name other variables.
const char *const kPool[] = {
    "A", "B", "VESK$STAGE", "VESK_STAGE", "KORU$DBGLEVEL", "KORU_DBGLEVEL", "X$Y$Z", "X_Y_Z"};

std::string pick_name(FuzzedDataProvider &in) {
    if (in.ConsumeBool()) return kPool[in.ConsumeIntegralInRange<size_t>(0, 7)];
    return in.ConsumeRandomLengthString(100);
}

bool settable(const std::string &name) {
    return !name.empty() && name.find('=') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::vector<std::string> set;
    const int vars = in.ConsumeIntegralInRange<int>(0, 6);
    for (int k = 0; k < vars; ++k) {
        std::string name = pick_name(in);
        std::string value = in.ConsumeBool()
                                ? std::string(kPool[in.ConsumeIntegralInRange<size_t>(0, 7)])
                                : in.ConsumeRandomLengthString(400);
        if (!settable(name)) continue;
        const auto nul = value.find('\0');
        if (nul != std::string::npos) value.resize(nul);
        setenv(name.c_str(), value.c_str(), 1);
        set.push_back(name);
    }

    const std::string name = pick_name(in);
    auto name_buf = std::make_unique<char[]>(name.size() + 1);
    std::memcpy(name_buf.get(), name.data(), name.size());
    const int32_t vlen = in.ConsumeIntegralInRange<int32_t>(0, 100);
    auto value = std::make_unique<char[]>(static_cast<size_t>(vlen) + 1);
    int32_t status = 7;
    gonioctl::ENV_TRANSLATE(name_buf.get(), static_cast<int32_t>(name.size()), value.get(), vlen,
                            status);
    if (status != 0 && status != -1) std::abort();

    const int32_t radix = in.ConsumeIntegral<int32_t>();
    int32_t v = 0;
    int32_t pos = 0;
    gonioctl::READRADIX(value.get(), vlen, radix, v, pos);
    if (pos < 0 || pos > 32) std::abort();
    const std::string text = in.ConsumeRemainingBytesAsString();
    auto text_buf = std::make_unique<char[]>(text.size() + 1);
    std::memcpy(text_buf.get(), text.data(), text.size());
    gonioctl::READRADIX(text_buf.get(), static_cast<int32_t>(text.size()), radix, v, pos);
    if (pos < 0 || pos > 32) std::abort();

    for (const auto &n : set) unsetenv(n.c_str());
    return 0;
}
