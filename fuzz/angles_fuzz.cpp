// The angle reply parse of gcreada, and the replies read by gcupdate and
// gcreadref, with any bytes as the controller's answers.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/state.h"
#include "gonio/angles.h"
#include "line.h"
#include "replies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 2048) return 0;
    fuzzline::open_line();
    FuzzedDataProvider in(data, size);
    const int which = in.ConsumeIntegralInRange<int>(0, 2);
    gonioctl::g_state.gonio_type = in.ConsumeIntegralInRange<int32_t>(2, 4);
    gonioctl::g_state.need_update = in.ConsumeBool() ? 1 : 0;
    // The first exchange starts with a flush, so nothing is queued before
    // the first command; then one reply per command.
    std::vector<std::string> replies{""};
    for (int k = 0; k < 6 && in.remaining_bytes() > 0; ++k)
        replies.push_back(in.ConsumeRandomLengthString(300));
    fuzzline::begin(replies);
    int32_t ier = 0;
    switch (which) {
        case 0: {
            float angles[4];
            gonioctl::gcreada(angles, ier);
            break;
        }
        case 1: {
            const float requested[4] = {10.0f, 20.0f, 30.0f, 40.0f};
            float reported[4];
            gonioctl::gcupdate(requested, reported, ier);
            break;
        }
        default: {
            int32_t first = 0, second = 0;
            gonioctl::gcreadref(first, second, ier);
            break;
        }
    }
    fuzzline::end();
    fuzzline::check_stored_angles();
    return 0;
}
