// Captures what the code under test writes to file descriptor 1 (standard
// output), through a pipe, for the duration of the object.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace gonioctl::testing {

class StdoutCapture {
  public:
    StdoutCapture() {
        std::fflush(stdout);
        saved_ = ::dup(STDOUT_FILENO);
        if (::pipe(pipe_) == 0) {
            ::fcntl(pipe_[0], F_SETFL, O_NONBLOCK);
            ::dup2(pipe_[1], STDOUT_FILENO);
        }
    }
    ~StdoutCapture() { restore(); }
    StdoutCapture(const StdoutCapture &) = delete;
    StdoutCapture &operator=(const StdoutCapture &) = delete;

    // Everything written since the capture began (or since the last take()).
    std::string take() {
        std::string out;
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(pipe_[0], buf, sizeof buf);
            if (n <= 0) break;
            out.append(buf, static_cast<std::size_t>(n));
        }
        return out;
    }

  private:
    void restore() {
        if (saved_ < 0) return;
        std::fflush(stdout);
        ::dup2(saved_, STDOUT_FILENO);
        ::close(saved_);
        ::close(pipe_[0]);
        ::close(pipe_[1]);
        saved_ = -1;
    }
    int saved_ = -1;
    int pipe_[2] = {-1, -1};
};

}  // namespace gonioctl::testing
