// Console lines with printer-style carriage control, written unbuffered to
// standard output.
#include "support/console.h"

#include <unistd.h>

#include <cerrno>

#include "core/text.h"

namespace gonioctl {

void CON_LINE(const char *text, int32_t len) {
    if (text != nullptr && len > 0 && text[0] == '+') {
        // "+" in the first column: continue on the current line.
        ++text;
        --len;
    } else {
        CON_WRITE("\r", 1, 1);
    }
    CON_WRITE(text, len, TRIMLEN(text, len));
    CON_WRITE("\r\n", 2, 2);
}

int32_t CON_WRITE(const char *text, int32_t len, int32_t count) {
    if (count > len) count = len;  // never past the end of the text
    if (text == nullptr || count <= 0) return 0;
    int32_t done = 0;
    while (done < count) {
        const ssize_t r = ::write(STDOUT_FILENO, text + done, static_cast<size_t>(count - done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return -1;
        done += static_cast<int32_t>(r);
    }
    return 0;
}

}  // namespace gonioctl
