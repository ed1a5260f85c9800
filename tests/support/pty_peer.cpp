#include "support/pty_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <stdexcept>

#include "link/link.h"
#include "support/raw_pty.h"

namespace testsupport {

PtyPeer::PtyPeer() {
    char name[256] = {};
    if (!open_raw_pty(master_, slave_, name)) throw std::runtime_error("openpty failed");
    path_ = name;
    reader_ = std::thread([this] { run(); });
}

PtyPeer::~PtyPeer() {
    hang_up();
}

void PtyPeer::select_port(int n) {
    std::string var = "GONIOCTL_COM" + std::to_string(n);
    setenv(var.c_str(), path_.c_str(), 1);
    int32_t ier = 0;
    gonioctl::gcsetport(n, ier);
}

void PtyPeer::on_line(Responder fn) {
    std::lock_guard<std::mutex> lock(mu_);
    responder_ = std::move(fn);
}

void PtyPeer::send(std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
            return;
        }
    }
}

std::string PtyPeer::received() {
    std::lock_guard<std::mutex> lock(mu_);
    return received_;
}

void PtyPeer::clear_received() {
    std::lock_guard<std::mutex> lock(mu_);
    received_.clear();
    line_.clear();
}

bool PtyPeer::wait_for_suffix(std::string_view suffix, int ms) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        {
            std::lock_guard<std::mutex> lock(mu_);
            if (received_.size() >= suffix.size() &&
                std::string_view(received_).substr(received_.size() - suffix.size()) == suffix)
                return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

void PtyPeer::start_flood(std::string pattern, int max_ms) {
    stop_flood();
    flood_stop_ = false;
    flooder_ = std::thread([this, pattern = std::move(pattern), max_ms] {
        // Non-blocking while flooding, so the writer never sticks in a
        // write once the library stops reading.
        const int flags = fcntl(master_, F_GETFL);
        fcntl(master_, F_SETFL, flags | O_NONBLOCK);
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(max_ms);
        while (!flood_stop_ && std::chrono::steady_clock::now() < until) {
            if (::write(master_, pattern.data(), pattern.size()) <= 0) {
                pollfd pfd{master_, POLLOUT, 0};
                ::poll(&pfd, 1, 1);
            }
        }
        fcntl(master_, F_SETFL, flags);
    });
}

void PtyPeer::stop_flood() {
    flood_stop_ = true;
    if (flooder_.joinable()) flooder_.join();
}

void PtyPeer::hang_up() {
    stop_flood();
    stop_ = true;
    if (reader_.joinable()) reader_.join();
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
    master_ = slave_ = -1;
}

void PtyPeer::run() {
    while (!stop_) {
        pollfd pfd{master_, POLLIN, 0};
        if (::poll(&pfd, 1, 5) <= 0) continue;
        char buf[256];
        ssize_t n = ::read(master_, buf, sizeof(buf));
        if (n <= 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        std::string reply;
        {
            std::lock_guard<std::mutex> lock(mu_);
            for (ssize_t i = 0; i < n; ++i) {
                received_.push_back(buf[i]);
                line_.push_back(buf[i]);
                if (buf[i] == '\r') {
                    if (responder_) reply += responder_(line_);
                    line_.clear();
                }
            }
        }
        if (!reply.empty()) send(reply);
    }
}

}  // namespace testsupport
