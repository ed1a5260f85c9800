// The generator and distance-stage reply reads with any bytes as the
// controller's answers.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "gonio/stage.h"
#include "line.h"
#include "periph/generator.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    setenv("VESK_STAGE", "motor", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 2048) return 0;
    fuzzline::open_line();
    FuzzedDataProvider in(data, size);
    const int which = in.ConsumeIntegralInRange<int>(0, 4);
    std::vector<std::string> replies{""};
    for (int k = 0; k < 4 && in.remaining_bytes() > 0; ++k)
        replies.push_back(in.ConsumeRandomLengthString(200));
    fuzzline::begin(replies);
    int32_t ier = 0;
    float a = 0.0f, b = 0.0f;
    switch (which) {
        case 0:
            gonioctl::gcset_generator(40.0f, 30.0f, ier);
            break;
        case 1:
            gonioctl::gcget_generator(a, b, ier);
            break;
        case 2:
            gonioctl::gcgetdistance(a, ier);
            break;
        case 3:
            gonioctl::gcgetdistlimits(a, b, ier);
            break;
        default:
            gonioctl::gcupdate_dist(25.0f, a, ier);
            break;
    }
    fuzzline::end();
    if (ier == 0 && !(std::isfinite(a) && std::isfinite(b))) std::abort();
    return 0;
}
