// goniosim: the simulated goniometer controller as a program of its own.
//
// It opens a pseudo-terminal, prints the slave's path on standard output
// (one line, so a script can read it) and serves the controller on it until
// SIGINT or SIGTERM. Point a host at it with GONIOCTL_COM1=<path>.
#include <getopt.h>
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "goniosim/simulator.h"

namespace {

void usage(FILE *f) {
    std::fputs(
        "usage: goniosim [options]\n"
        "Simulated goniometer controller on a pseudo-terminal. Prints the\n"
        "terminal's path, then serves until interrupted (Ctrl-C or SIGTERM).\n"
        "\n"
        "  --link PATH        also make PATH a symbolic link to the terminal\n"
        "  --type N           goniometer type 2, 3 or 4 (default 3)\n"
        "  --time-scale X     simulated seconds per real second (default 1;\n"
        "                     0 carries out every move at once)\n"
        "  --line-rate BAUD   pace replies as a line at BAUD does (e.g. 9600)\n"
        "  --echo             start with the command echo on\n"
        "  --silence          fault: receive everything, answer nothing\n"
        "  --garbage          fault: answer every request with garbage\n"
        "  --collision        fault: the first move ends in collision\n"
        "  --log FILE         append a log of the traffic to FILE\n"
        "  -h, --help         this text\n"
        "\n"
        "Example:  goniosim --link /tmp/gonio &  GONIOCTL_COM1=/tmp/gonio my-host\n",
        f);
}

bool parse_double(const char *s, double &v) {
    char *end = nullptr;
    errno = 0;
    v = std::strtod(s, &end);
    return errno == 0 && end != s && *end == '\0';
}

bool parse_long(const char *s, long &v) {
    char *end = nullptr;
    errno = 0;
    v = std::strtol(s, &end, 10);
    return errno == 0 && end != s && *end == '\0';
}

}  // namespace

int main(int argc, char **argv) {
    goniosim::Options opts;
    opts.time_scale = 1.0;
    goniosim::Fault fault = goniosim::Fault::None;
    std::string link;

    enum { kLink = 1000, kType, kScale, kRate, kEcho, kSilence, kGarbage, kCollision, kLog };
    static const struct option longopts[] = {
        {"link", required_argument, nullptr, kLink},
        {"type", required_argument, nullptr, kType},
        {"time-scale", required_argument, nullptr, kScale},
        {"line-rate", required_argument, nullptr, kRate},
        {"echo", no_argument, nullptr, kEcho},
        {"silence", no_argument, nullptr, kSilence},
        {"garbage", no_argument, nullptr, kGarbage},
        {"collision", no_argument, nullptr, kCollision},
        {"log", required_argument, nullptr, kLog},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    int opt;
    while ((opt = getopt_long(argc, argv, "h", longopts, nullptr)) != -1) {
        long n = 0;
        double x = 0.0;
        switch (opt) {
            case kLink:
                link = optarg;
                break;
            case kType:
                if (!parse_long(optarg, n) || n < 2 || n > 4) {
                    std::fprintf(stderr, "goniosim: --type must be 2, 3 or 4\n");
                    return 2;
                }
                opts.gonio_type = static_cast<int32_t>(n);
                break;
            case kScale:
                if (!parse_double(optarg, x) || !(x >= 0.0) || x > 1e6) {
                    std::fprintf(stderr, "goniosim: --time-scale must be a number >= 0\n");
                    return 2;
                }
                opts.time_scale = x;
                break;
            case kRate:
                if (!parse_long(optarg, n) || n < 0 || n > 4000000) {
                    std::fprintf(stderr, "goniosim: --line-rate must be a baud rate\n");
                    return 2;
                }
                opts.line_rate = static_cast<int32_t>(n);
                break;
            case kEcho:
                opts.echo = true;
                break;
            case kSilence:
                fault = goniosim::Fault::Silence;
                break;
            case kGarbage:
                fault = goniosim::Fault::Garbage;
                break;
            case kCollision:
                fault = goniosim::Fault::Collision;
                break;
            case kLog:
                opts.log_path = optarg;
                break;
            case 'h':
                usage(stdout);
                return 0;
            default:
                usage(stderr);
                return 2;
        }
    }
    if (optind < argc) {
        std::fprintf(stderr, "goniosim: unexpected argument '%s'\n", argv[optind]);
        usage(stderr);
        return 2;
    }

    // SIGINT and SIGTERM are taken by sigwait below; block them before the
    // service thread starts so that it inherits the mask.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    sigaddset(&stop_signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    goniosim::Simulator sim(opts);
    if (!sim.start()) {
        std::fprintf(stderr, "goniosim: cannot start: %s\n", std::strerror(errno));
        return 1;
    }
    sim.set_fault(fault);
    if (!link.empty() && !sim.make_link(link)) {
        std::fprintf(stderr, "goniosim: cannot make link %s: %s\n", link.c_str(),
                     std::strerror(errno));
        return 1;
    }
    std::printf("%s\n", sim.slave_path().c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "goniosim: controller (type %d) on %s%s%s; Ctrl-C to stop\n",
                 static_cast<int>(opts.gonio_type), sim.slave_path().c_str(),
                 link.empty() ? "" : ", link ", link.c_str());

    int sig = 0;
    sigwait(&stop_signals, &sig);
    std::fprintf(stderr, "goniosim: stopped by signal %d\n", sig);
    sim.stop();
    return 0;
}
