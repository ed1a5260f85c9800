// The command splitter over any text: every line sent is at most 32
// characters and its CR, no line is empty, and nothing is sent past the
// text.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "line.h"
#include "link/sequencing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 2048) return 0;
    fuzzline::open_line();
    fuzzline::begin({});
    auto text = std::make_unique<char[]>(size == 0 ? 1 : size);
    if (size > 0) std::memcpy(text.get(), data, size);
    int32_t status = 0;
    gonioctl::GCPUTS(text.get(), static_cast<int32_t>(size), status);
    const std::string sent = fuzzline::end();
    if (status != 0) std::abort();
    if (fuzzline::longest_command() > 33) std::abort();
    if (!sent.empty() && sent.back() != '\r') std::abort();
    // Each command adds at most its CR to the characters of the text.
    if (sent.size() > 2 * size) std::abort();
    return 0;
}
