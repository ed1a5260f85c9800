// The simulated controller: a pseudo-terminal, the service thread that acts
// on its master side, the controller's framing and the command executor.
//
// One thread does everything: it waits in ppoll on the master and on a
// wake-up pipe, reads received bytes, assembles command lines, carries out
// the commands in order against the model and writes the replies (paced to
// the line rate when asked). All state is guarded by one mutex, which the
// thread holds except while it waits, so the test side (with_model, lines,
// queue_reply ...) always sees a consistent controller.
#include "goniosim/simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

namespace goniosim {

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

constexpr unsigned char kBel = 7, kAck = 6, kLf = 10, kCr = 13, kXon = 17, kXoff = 19;

// Bounds that keep a long-running simulator (or a host that floods it) from
// growing without limit.
constexpr size_t kMaxLine = 512;           // characters kept of one command line
constexpr size_t kMaxPendingLines = 1000;  // lines waiting for the executor
constexpr size_t kMaxRecordedBytes = 4u << 20;
constexpr size_t kMaxRecordedLines = 100000;

bool is_sep(char c) {
    return c == ' ' || c == '\t' || c == ',';
}

}  // namespace

std::string escape(std::string_view s) {
    std::string out;
    for (unsigned char c : s) {
        switch (c) {
            case kCr:
                out += "<CR>";
                break;
            case kLf:
                out += "<LF>";
                break;
            case kBel:
                out += "<BEL>";
                break;
            case kAck:
                out += "<ACK>";
                break;
            case 4:
                out += "<EOT>";
                break;
            case kXon:
                out += "<XON>";
                break;
            case kXoff:
                out += "<XOFF>";
                break;
            default:
                if (c >= 32 && c < 127) {
                    out += static_cast<char>(c);
                } else {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "<x%02X>", c);
                    out += buf;
                }
        }
    }
    return out;
}

std::vector<std::string> split_commands(std::string_view line) {
    std::vector<std::string> cmds;
    auto push = [&](size_t from, size_t to) {
        while (from < to && is_sep(line[from])) ++from;
        while (to > from && is_sep(line[to - 1])) --to;
        if (to > from) cmds.emplace_back(line.substr(from, to - from));
    };
    size_t start = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c < 'A' || c > 'Z' || i == 0) continue;
        char p = line[i - 1];
        if (is_sep(p) || (p >= '0' && p <= '9')) {
            push(start, i);
            start = i;
        }
    }
    push(start, line.size());
    return cmds;
}

struct Simulator::Impl final : Controller {
    explicit Impl(Options o) : opts(std::move(o)) {
        m.gonio_type = opts.gonio_type;
        m.echo = opts.echo;
    }

    Options opts;
    int master = -1;
    int wake[2] = {-1, -1};
    std::string slave;
    std::string link_path;
    std::thread thread;
    FILE *logf = nullptr;

    mutable std::mutex mu;
    mutable std::condition_variable cv;
    bool stop_req = false;
    bool hangup_req = false;

    Model m;
    Fault fault_ = Fault::None;
    Inject inject_;

    // Recorded traffic, byte for byte.
    std::string rx_all;
    std::vector<std::string> rx_lines;
    std::string rx_raw_line;
    std::vector<std::string> unrec;
    Clock::time_point last_rx;

    // Framing and execution.
    std::string line;
    std::deque<std::string> scripted;
    struct Work {
        std::string text;
        std::vector<std::string> cmds;
        size_t next = 0;
        bool started = false;
    };
    std::deque<Work> work;
    Clock::time_point t0, last_tick;
    double sim_now = 0.0;
    double busy_until = 0.0;

    // Output waiting to be written, and the pacing of it.
    std::string out;
    Clock::time_point next_byte;
    bool master_hup = false;  // no slave open: look again shortly

    // Controller interface (called by the command handlers, lock held).
    Model &model() override { return m; }
    void reply(std::string_view record) override {
        std::string rec(record);
        if (rec.empty() || rec.back() != '\r') rec += '\r';
        emit(std::move(rec), true);
    }
    void busy(double s) override {
        if (!(s > 0.0)) return;
        if (opts.time_scale <= 0.0) {
            advance_motion(m, s);
            sim_now += s;
        } else {
            busy_until = std::max(busy_until, sim_now) + s;
        }
    }
    double time_scale() const override { return opts.time_scale; }
    Fault fault() const override { return fault_; }
    void set_fault(Fault f) override { fault_ = f; }
    double now() const override { return sim_now; }

    void log(const char *dir, std::string_view text) {
        if (!logf) return;
        std::fprintf(logf, "%10.3f %s %s\n", seconds(Clock::now() - t0), dir, escape(text).c_str());
        std::fflush(logf);
    }

    void queue_out(std::string_view bytes) {
        if (out.empty() && opts.line_rate > 0) {
            auto now = Clock::now();
            if (next_byte < now) next_byte = now;
        }
        out.append(bytes);
    }

    // A record from the model (reply or echo), with the faults applied.
    void emit(std::string rec, bool is_reply) {
        if (fault_ == Fault::Silence) return;
        if (is_reply && fault_ == Fault::Garbage) rec = std::string(kGarbageRecord);
        size_t body = rec.size() - 1;  // characters before the CR
        if (inject_.pad_to > body) rec.insert(body, inject_.pad_to - body, ' ');
        if (inject_.xoff && rec.size() > 1) rec.insert(1, "\x13\x11");
        if (inject_.lf && rec.size() > 1) {
            rec.insert(rec.size() - 1, "\n");
            rec.insert(1, "\n");
        }
        if (inject_.top_bit)
            for (char &c : rec) c = static_cast<char>(static_cast<unsigned char>(c) | 0x80);
        log(">", rec);
        queue_out(rec);
    }

    void record(unsigned char b) {
        if (rx_all.size() >= kMaxRecordedBytes) rx_all.erase(0, kMaxRecordedBytes / 2);
        rx_all += static_cast<char>(b);
        rx_raw_line += static_cast<char>(b);
        if (b == kCr || rx_raw_line.size() > kMaxLine * 4) {
            log("<", rx_raw_line);
            if (rx_lines.size() >= kMaxRecordedLines)
                rx_lines.erase(rx_lines.begin(), rx_lines.begin() + kMaxRecordedLines / 2);
            rx_lines.push_back(std::move(rx_raw_line));
            rx_raw_line.clear();
            cv.notify_all();
        }
    }

    // BEL (hard) or ACK (soft reset): answered at once with the same
    // character; work not yet done, a partial line, replies not yet sent and
    // motion in progress are dropped, and the latched error word is cleared.
    void reset(unsigned char c) {
        work.clear();
        line.clear();
        out.clear();
        busy_until = sim_now;
        finish_motion(m, true);
        m.status2 = 0;
        if (fault_ == Fault::Silence) return;
        char ch = static_cast<char>(c);
        log(">", std::string_view(&ch, 1));
        queue_out(std::string_view(&ch, 1));
    }

    void end_line() {
        std::string text = std::move(line);
        line.clear();
        if (text.find_first_not_of(" \t") == std::string::npos) return;
        if (!scripted.empty()) {
            std::string r = std::move(scripted.front());
            scripted.pop_front();
            log(">", r);
            queue_out(r);
            return;
        }
        if (work.size() >= kMaxPendingLines) {
            log("!", "executor overrun, line dropped: " + text);
            return;
        }
        Work w;
        w.cmds = split_commands(text);
        w.text = std::move(text);
        work.push_back(std::move(w));
    }

    void on_byte(unsigned char b) {
        record(b);
        unsigned char c = b & 0x7f;
        if (c == kBel || c == kAck) return reset(c);
        if (c == kLf || c == kXon || c == kXoff) return;
        if (c == kCr) return end_line();
        if (line.size() < kMaxLine) line += static_cast<char>(c);
    }

    void execute(const std::string &cmd) {
        bool ok = false;
        try {
            ok = handle_link_command(*this, cmd) || handle_gonio_command(*this, cmd) ||
                 handle_motion_command(*this, cmd) || handle_homing_command(*this, cmd) ||
                 handle_periph_command(*this, cmd);
        } catch (const std::exception &e) {
            log("!", std::string("command failed: ") + cmd + ": " + e.what());
            ok = true;
        }
        if (!ok) {
            log("?", "unrecognised: " + cmd);
            if (unrec.size() < 1000) unrec.push_back(cmd);
        }
    }

    void tick() {
        auto now = Clock::now();
        if (opts.time_scale > 0.0) {
            double dt = seconds(now - last_tick) * opts.time_scale;
            advance_motion(m, dt);
            sim_now += dt;
        }
        last_tick = now;
    }

    bool held() const { return opts.time_scale > 0.0 && sim_now < busy_until; }

    void run_ready() {
        while (!work.empty() && !held()) {
            Work &w = work.front();
            if (!w.started) {
                w.started = true;
                if (m.echo) emit(w.text + '\r', false);
            }
            if (w.next >= w.cmds.size()) {
                work.pop_front();
                continue;
            }
            std::string cmd = w.cmds[w.next++];
            execute(cmd);
            if (opts.time_scale <= 0.0) finish_motion(m);
        }
    }

    double byte_time() const { return 10.0 / opts.line_rate; }

    void write_out() {
        if (out.empty() || master < 0) return;
        if (opts.line_rate <= 0) {
            ssize_t n = ::write(master, out.data(), out.size());
            if (n > 0) {
                out.erase(0, static_cast<size_t>(n));
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                out.clear();  // nobody on the line: the bytes are lost, as on a real one
                master_hup = true;
            }
            return;
        }
        auto now = Clock::now();
        auto step =
            std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(byte_time()));
        while (!out.empty() && now >= next_byte) {
            ssize_t n = ::write(master, out.data(), 1);
            if (n == 1) {
                out.erase(0, 1);
                next_byte += step;
            } else {
                if (errno != EAGAIN && errno != EINTR) {
                    out.clear();
                    master_hup = true;
                } else {
                    next_byte = now + step;  // the host is not reading: try again later
                }
                return;
            }
        }
    }

    void read_input() {
        unsigned char buf[256];
        for (;;) {
            ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0) {
                last_rx = Clock::now();
                for (ssize_t i = 0; i < n; ++i) on_byte(buf[i]);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EIO) master_hup = true;  // the slave side was closed
            return;
        }
    }

    // Time until something is due: the end of a busy period, the next paced
    // byte, or a fresh look at a master whose slave is not open.
    bool due_in(struct timespec &ts) const {
        double t = -1.0;
        auto take = [&t](double v) {
            v = std::max(v, 0.0);
            if (t < 0.0 || v < t) t = v;
        };
        if (master_hup) take(0.02);
        if (!work.empty() && held()) take((busy_until - sim_now) / opts.time_scale);
        if (!out.empty() && master >= 0) {
            if (opts.line_rate > 0) take(seconds(next_byte - Clock::now()));
        }
        if (t < 0.0) return false;
        t = std::min(t, 60.0);
        ts.tv_sec = static_cast<time_t>(t);
        ts.tv_nsec = static_cast<long>((t - static_cast<double>(ts.tv_sec)) * 1e9);
        return true;
    }

    void run() {
        std::unique_lock<std::mutex> lk(mu);
        while (!stop_req) {
            if (hangup_req && master >= 0) {
                ::close(master);
                master = -1;
                out.clear();
                log("!", "hang-up: master side closed");
                cv.notify_all();
            }
            tick();
            run_ready();
            write_out();

            struct pollfd fds[2];
            nfds_t nfds = 1;
            fds[0] = {wake[0], POLLIN, 0};
            bool watch_master = master >= 0 && !master_hup;
            if (watch_master) {
                short ev = POLLIN;
                if (!out.empty() && opts.line_rate <= 0) ev |= POLLOUT;
                fds[1] = {master, ev, 0};
                nfds = 2;
            }
            struct timespec ts;
            bool timed = due_in(ts);
            master_hup = false;
            lk.unlock();
            int r = ::ppoll(fds, nfds, timed ? &ts : nullptr, nullptr);
            lk.lock();
            if (r <= 0) continue;
            if (fds[0].revents & POLLIN) {
                char b[64];
                while (::read(wake[0], b, sizeof b) > 0) {
                }
            }
            if (watch_master && master >= 0) {
                if (fds[1].revents & POLLIN)
                    read_input();
                else if (fds[1].revents & (POLLHUP | POLLERR))
                    master_hup = true;
            }
        }
    }

    void poke() const {
        char b = 1;
        ssize_t n = ::write(wake[1], &b, 1);
        (void)n;
    }
};

Simulator::Simulator(Options opts) : impl_(std::make_unique<Impl>(std::move(opts))) {}

Simulator::~Simulator() {
    stop();
}

bool Simulator::start() {
    Impl &s = *impl_;
    if (s.thread.joinable()) return true;
    int master = -1, slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) return false;
    // The simulator keeps no slave descriptor: the host's open is the only
    // one, so the host closing it is seen here as a hang-up of its own.
    ::close(slave);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    if (::pipe2(s.wake, O_NONBLOCK | O_CLOEXEC) != 0) {
        int e = errno;
        ::close(master);
        errno = e;
        return false;
    }
    if (!s.opts.log_path.empty()) {
        s.logf = std::fopen(s.opts.log_path.c_str(), "a");
        if (!s.logf) {
            int e = errno;
            ::close(master);
            ::close(s.wake[0]);
            ::close(s.wake[1]);
            s.wake[0] = s.wake[1] = -1;
            errno = e;
            return false;
        }
    }
    s.master = master;
    s.slave = name;
    s.t0 = s.last_tick = s.last_rx = Clock::now();
    s.next_byte = s.t0;
    s.stop_req = false;
    s.hangup_req = false;
    s.master_hup = false;
    s.log("!", "controller on " + s.slave);
    s.thread = std::thread([&s] { s.run(); });
    return true;
}

void Simulator::stop() {
    Impl &s = *impl_;
    if (!s.thread.joinable()) return;
    {
        std::lock_guard<std::mutex> lk(s.mu);
        s.stop_req = true;
    }
    s.poke();
    s.thread.join();
    if (s.master >= 0) ::close(s.master);
    s.master = -1;
    ::close(s.wake[0]);
    ::close(s.wake[1]);
    s.wake[0] = s.wake[1] = -1;
    if (!s.link_path.empty()) {
        // Remove the link only while it still points at this simulator.
        char target[512];
        ssize_t n = ::readlink(s.link_path.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string_view(target, static_cast<size_t>(n)) == s.slave)
            ::unlink(s.link_path.c_str());
        s.link_path.clear();
    }
    if (s.logf) std::fclose(s.logf);
    s.logf = nullptr;
}

const std::string &Simulator::slave_path() const {
    return impl_->slave;
}

bool Simulator::make_link(const std::string &path) {
    Impl &s = *impl_;
    if (s.slave.empty() || path.empty()) return false;
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0) {
        // Replace an old link, but never a file or device that is not one.
        if (!S_ISLNK(st.st_mode)) {
            errno = EEXIST;
            return false;
        }
        ::unlink(path.c_str());
    }
    if (::symlink(s.slave.c_str(), path.c_str()) != 0) return false;
    s.link_path = path;
    return true;
}

std::vector<std::string> Simulator::lines() const {
    std::lock_guard<std::mutex> lk(impl_->mu);
    return impl_->rx_lines;
}

std::string Simulator::received() const {
    std::lock_guard<std::mutex> lk(impl_->mu);
    return impl_->rx_all;
}

void Simulator::clear_received() {
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->rx_all.clear();
    impl_->rx_lines.clear();
    impl_->rx_raw_line.clear();
    impl_->unrec.clear();
}

std::vector<std::string> Simulator::unrecognised() const {
    std::lock_guard<std::mutex> lk(impl_->mu);
    return impl_->unrec;
}

bool Simulator::wait_lines(size_t n, double timeout_s) const {
    std::unique_lock<std::mutex> lk(impl_->mu);
    return impl_->cv.wait_for(lk, std::chrono::duration<double>(timeout_s),
                              [&] { return impl_->rx_lines.size() >= n; });
}

namespace {

// Bytes written by the host may reach the master a moment after the host's
// write returned; a settle time without new bytes covers that hand-over.
constexpr double kSettle = 0.02;

}  // namespace

bool Simulator::sync(double timeout_s) const {
    const Impl &s = *impl_;
    auto start = Clock::now();
    for (;;) {
        {
            std::lock_guard<std::mutex> lk(s.mu);
            int n = 0;
            if (s.master < 0) return true;
            if (::ioctl(s.master, FIONREAD, &n) != 0) n = 0;
            auto now = Clock::now();
            if (n == 0 && seconds(now - std::max(start, s.last_rx)) >= kSettle) return true;
            if (seconds(now - start) > timeout_s) return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool Simulator::wait_idle(double timeout_s) const {
    const Impl &s = *impl_;
    auto start = Clock::now();
    for (;;) {
        if (!sync(timeout_s)) return false;
        {
            std::lock_guard<std::mutex> lk(s.mu);
            if (s.work.empty() && s.out.empty() && s.line.empty()) return true;
            if (seconds(Clock::now() - start) > timeout_s) return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void Simulator::queue_reply(std::string bytes) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->scripted.push_back(std::move(bytes));
}

void Simulator::send(std::string_view bytes) {
    {
        std::lock_guard<std::mutex> lk(impl_->mu);
        impl_->log(">", bytes);
        impl_->queue_out(bytes);
    }
    impl_->poke();
}

void Simulator::set_fault(Fault f) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->fault_ = f;
}

Fault Simulator::fault() const {
    std::lock_guard<std::mutex> lk(impl_->mu);
    return impl_->fault_;
}

void Simulator::set_inject(const Inject &inj) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->inject_ = inj;
}

void Simulator::hang_up() {
    Impl &s = *impl_;
    std::unique_lock<std::mutex> lk(s.mu);
    if (!s.thread.joinable()) {
        if (s.master >= 0) ::close(s.master);
        s.master = -1;
        return;
    }
    s.hangup_req = true;
    s.poke();
    s.cv.wait(lk, [&] { return s.master < 0; });
}

void Simulator::with_model(const std::function<void(Model &)> &fn) {
    {
        std::lock_guard<std::mutex> lk(impl_->mu);
        fn(impl_->m);
    }
    impl_->poke();
}

}  // namespace goniosim
