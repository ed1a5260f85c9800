// The record handling of gcdrscwait: angle replies with any fields and
// status words, readings, "ST" values and anything else, with and without
// counting running.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/state.h"
#include "line.h"
#include "motion/wait.h"
#include "replies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 2048) return 0;
    fuzzline::open_line();
    FuzzedDataProvider in(data, size);
    const int32_t nwait = in.ConsumeIntegralInRange<int32_t>(-1, 3);
    gonioctl::g_state.readings_outstanding = in.ConsumeIntegralInRange<int32_t>(-3, 0);
    gonioctl::g_state.gonio_type = in.ConsumeIntegralInRange<int32_t>(2, 4);
    const float timeout = in.ConsumeBool() ? 0.0f : 30.0f;
    // The records are waiting when the call starts; commands sent by a
    // reset get the further replies.
    std::string records = in.ConsumeRandomLengthString(1500);
    std::vector<std::string> replies{records};
    while (in.remaining_bytes() > 0 && replies.size() < 6)
        replies.push_back(in.ConsumeRandomLengthString(200));
    fuzzline::begin(replies);
    int32_t reading = 0, ier = 0;
    gonioctl::gcdrscwait(nwait, reading, timeout, ier);
    fuzzline::end();
    fuzzline::check_stored_angles();
    if (gonioctl::g_state.readings_outstanding > 0) std::abort();
    return 0;
}
