// Trace level and trace lines on standard output.
//
// A trace line is a label followed by values in free format, separated by
// blanks. Control characters are shown escaped (<CR>, <BEL>, <0x1B>) so a
// trace never garbles a terminal. Lines are built in a fixed buffer (no
// allocation) and written to standard output in one piece when the line ends.
#pragma once

#include <cstdint>
#include <string_view>

namespace gonioctl {

// The trace level, read from KORU$DBGLEVEL / KORU_DBGLEVEL on first use and kept.
int32_t DBGLEVEL();
// True when the trace level is at least the threshold.
inline bool tracing(int32_t threshold) {
    return DBGLEVEL() >= threshold;
}

class TraceLine {
  public:
    explicit TraceLine(std::string_view label);
    ~TraceLine();  // writes the line and a newline to standard output
    TraceLine(const TraceLine &) = delete;
    TraceLine &operator=(const TraceLine &) = delete;

    TraceLine &operator<<(int32_t v);
    TraceLine &operator<<(int64_t v);
    TraceLine &operator<<(double v);
    TraceLine &operator<<(bool v);              // T or F
    TraceLine &operator<<(std::string_view s);  // text as it stands, escaped
    TraceLine &operator<<(const char *s);       // NUL-terminated text (not a logical)
    TraceLine &text(const char *s, int32_t n);  // counted text, escaped

  private:
    void append(std::string_view s);
    void sep();
    char buf_[1024];
    int32_t n_ = 0;
};

}  // namespace gonioctl
