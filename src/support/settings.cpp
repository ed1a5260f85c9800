// Settings from the process environment, read by name.
#include "support/settings.h"

#include <cstdlib>
#include <cstring>

#include "core/text.h"

namespace gonioctl {

namespace {

constexpr int32_t kWorkName = 80;
constexpr int32_t kCopy = 256;

// Work areas of the lookups: library-wide, as nothing is allocated.
constinit char g_work_name[kWorkName] = {};
constinit char g_name_copy[kCopy] = {};
constinit char g_env_copy[kCopy] = {};

// One read of a name into the value field; with dollar_to_underscore every
// "$" of the name is read as "_". The value is blank when nothing was found,
// and is cut to the value field.
void single_read(const char *name, int32_t namelen, char *value, int32_t valuelen,
                 bool dollar_to_underscore) {
    int32_t n = TRIMLEN(name, namelen);
    if (n == 0) return;
    if (n > kCopy - 1) n = kCopy - 1;  // the copy keeps its terminating NUL
    std::memset(g_name_copy, 0, sizeof g_name_copy);
    MEMCOPY(g_name_copy, name, n);
    if (dollar_to_underscore) {
        for (int32_t k = 0; k < n; ++k) {
            if (g_name_copy[k] == '$') g_name_copy[k] = '_';
        }
    }
    int32_t status = -1;
    ENV_READ(g_name_copy, kCopy, g_env_copy, status);
    blank_fill(value, valuelen);
    if (status == 0) set_text(value, valuelen, g_env_copy, -1);
}

}  // namespace

void ENV_READ(const char *name, int32_t capacity, char *result, int32_t &status) {
    const char *v = name != nullptr ? std::getenv(name) : nullptr;
    if (v == nullptr || capacity < 1 || result == nullptr) {
        status = -1;
        return;
    }
    std::memset(result, 0, static_cast<std::size_t>(capacity));
    std::size_t n = std::strlen(v);
    if (n > static_cast<std::size_t>(capacity - 1)) n = static_cast<std::size_t>(capacity - 1);
    std::memcpy(result, v, n);
    status = 0;
}

void ENV_LOOKUP(const char *name, int32_t namelen, char *value, int32_t valuelen) {
    single_read(name, namelen, value, valuelen, false);
    const int32_t n = TRIMLEN(name, namelen);
    if (TRIMLEN(value, valuelen) == 0 && n > 0 && std::memchr(name, '$', n) != nullptr) {
        single_read(name, namelen, value, valuelen, true);
    }
}

void ENV_TRANSLATE(const char *name, int32_t namelen, char *value, int32_t valuelen,
                   int32_t &status) {
    set_text(g_work_name, kWorkName, name,
             namelen <= 0 ? 0 : (namelen < kWorkName ? namelen : kWorkName));
    status = -1;
    blank_fill(value, valuelen);
    // A value that names another variable is followed, at most 16 times,
    // so that a variable naming itself cannot loop forever.
    for (int32_t step = 0; step < 16; ++step) {
        ENV_LOOKUP(g_work_name, kWorkName, value, valuelen);
        if (TRIMLEN(value, valuelen) == 0) break;
        set_text(g_work_name, kWorkName, value, valuelen < kWorkName ? valuelen : kWorkName);
        status = 0;
    }
    set_text(value, valuelen, g_work_name, kWorkName);
}

void READRADIX(const char *text, int32_t len, int32_t radix, int32_t &value, int32_t &pos) {
    char work[32];
    set_text(work, 32, text, len < 32 ? (len > 0 ? len : 0) : 32);
    LEFTJUST(work, 32);
    UPCASE(work, 32);
    value = 0;
    pos = 0;
    const int32_t n = TRIMLEN(work, 32);
    // 32-bit arithmetic that wraps rather than overflows.
    uint32_t sum = 0, weight = 1;
    for (int32_t i = n; i >= 1; --i) {
        const char c = work[i - 1];
        int32_t d;
        if (c >= '0' && c <= '9' && c - '0' < radix) {
            d = c - '0';
        } else if (c >= 'A' && c <= 'Z' && c - 55 < radix) {
            d = c - 55;
        } else {
            pos = i;
            break;
        }
        sum += static_cast<uint32_t>(d) * weight;
        weight *= static_cast<uint32_t>(radix);
    }
    value = static_cast<int32_t>(sum);
}

void UPCASE(char *text, int32_t len) {
    const int32_t n = TRIMLEN(text, len);
    for (int32_t k = 0; k < n; ++k) {
        text[k] = static_cast<char>(UPCHAR(static_cast<unsigned char>(text[k])));
    }
}

}  // namespace gonioctl
