// gonioctl: a command-line tool over the goniometer control library, for
// aligning and testing an instrument by hand and for scripts.
//
// Several commands may follow each other in one invocation; they run in
// order on one open link, so that, for example, an angle update and the drive
// that needs it share the library's state:
//     gonioctl --sim update 0 0 0 0 drive 20 10 0 0
#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "output.h"
#include "session.h"

using namespace gonioctl::cli;

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;

struct Step {
    bool needs_link = true;
    std::function<bool(Session &)> run;
};

// Angles, speeds and other real values must be plain numbers: "nan" and
// "inf" would reach the controller as fields of asterisks.
const CLI::Validator kFinite(
    [](std::string &text) -> std::string {
        char *end = nullptr;
        const double v = std::strtod(text.c_str(), &end);
        if (end == text.c_str()) return {};  // the conversion reports it
        return std::isfinite(v) ? std::string() : "must be a finite number";
    },
    "FINITE");

void add_angles(CLI::App *sub, AngleSet &a) {
    static const char *const names[4] = {"2theta", "omega", "phi", "chi"};
    for (int i = 0; i < 4; ++i)
        sub->add_option(names[i], a.v[i], std::string(names[i]) + " in degrees")
            ->required()
            ->check(kFinite);
}

// One command of the command line with its options, parsed on its own.
struct Cli {
    CLI::App app{
        "gonioctl - drive the goniometer controller of a single-crystal X-ray diffractometer.\n"
        "Several commands may follow each other; they run in order on one open link."};
    Globals g;
    std::map<CLI::App *, Step> steps;
    AngleSet update_angles;
    AngleSet check_angles;
    int32_t selector = 0;
    bool full_limits = false;
    std::string limits_action;
    LimitsSet limits_set;
    std::string stage_action;
    std::vector<float> stage_values;
    float stage_speed = 10.0f;
    DriveRequest drive;
    int32_t lead = 0, trail = 0;
    int32_t raw_flags = 0;
    int home_circle = 1;
    float home_speed = 5.0f;
    int enc_circle = 1;
    float enc_value = 0;
    std::vector<float> man_speeds;
    std::vector<int32_t> man_params;
    std::string shutter_action;
    int32_t shutter_delay = 0;
    std::string att_action;
    int32_t att_delay = 0;
    std::string det_action;
    std::vector<int32_t> det_times;
    std::string gen_action;
    std::vector<float> gen_values;
    bool soft = false;
    int64_t err_value = 0;
    bool err_code = false;
    CLI::Option *lead_opt = nullptr;
    CLI::Option *trail_opt = nullptr;
    CLI::Option *flags_opt = nullptr;
    CLI::App *demo = nullptr;

    Cli();
    Cli(const Cli &) = delete;
    Cli &operator=(const Cli &) = delete;
};

Cli::Cli() {
    app.name("gonioctl");
    app.require_subcommand(1, 1);

    app.add_option("--port", g.port, "serial port COM1..COM4 (default 1)")->check(CLI::Range(1, 4));
    auto *dev = app.add_option("--device", g.device,
                               "device of that port, e.g. /dev/ttyUSB0 (sets GONIOCTL_COMn)");
    app.add_option("--type", g.type, "goniometer type 2, 3 or 4 (default 3)")
        ->check(CLI::IsMember({2, 3, 4}));
    app.add_option("--trace", g.trace, "library trace level (3: wire traffic)")
        ->check(CLI::Range(0, 9));
    app.add_flag("--sim", g.sim, "run against an embedded simulated controller")->excludes(dev);
    app.add_option(
           "--time-scale", g.time_scale,
           "simulator: simulated seconds of motion per real second (default 5; 0 = instant)")
        ->check(CLI::NonNegativeNumber & kFinite);
    app.add_flag("--stage", g.stage, "declare a motorized detector-distance stage (VESK_STAGE)");
    app.add_flag("--json", g.json, "one JSON object per command on standard output");

    auto add = [this](const char *name, const char *help, bool needs_link,
                      std::function<bool(Session &)> fn) {
        CLI::App *sub = app.add_subcommand(name, help);
        steps[sub] = Step{needs_link, std::move(fn)};
        return sub;
    };

    // ---- angles and limits
    add("angles", "read the four circles", true, [](Session &s) { return cmd_angles(s); });

    add_angles(add("update", "tell the controller where the circles stand", true,
                   [&](Session &s) { return cmd_update(s, update_angles); }),
               update_angles);

    // The library checks only while the link is open (closed, every set passes).
    auto *check = add("check", "check a target set against the limits and collision model", true,
                      [&](Session &s) { return cmd_check(s, check_angles, selector); });
    add_angles(check, check_angles);
    check->add_option("--selector", selector, "0: arc tests (as a drive does); other: bounds");

    // limits get|set
    auto *limits = add("limits", "show or set the software limits", false, [&](Session &s) {
        if (limits_action == "get") return cmd_limits_get(s, full_limits);
        return cmd_limits_set(s, limits_set);
    });
    limits->add_option("action", limits_action, "get or set")
        ->required()
        ->check(CLI::IsMember({"get", "set"}));
    limits->add_flag("--full", full_limits, "get: show unrestricted circles as their full range");
    static const char *const limit_opts[5] = {"--2theta", "--omega", "--phi", "--chi", "--coupled"};
    for (int i = 0; i < 5; ++i)
        limits->add_option(limit_opts[i], limits_set.pair[i], "set: LOW,HIGH in degrees")
            ->check(kFinite)
            ->expected(2)
            ->delimiter(',');

    // ---- stage
    auto *stage =
        add("stage", "detector-distance stage: get, set DIST, limits [LOW HIGH], update DIST", true,
            [&](Session &s) {
                if (stage_action == "get") return cmd_stage_get(s);
                if (stage_action == "set") return cmd_stage_set(s, stage_values.at(0), stage_speed);
                if (stage_action == "limits") return cmd_stage_limits(s, stage_values);
                return cmd_stage_update(s, stage_values.at(0));
            });
    stage->add_option("action", stage_action, "get, set, limits or update")
        ->required()
        ->check(CLI::IsMember({"get", "set", "limits", "update"}));
    stage->add_option("values", stage_values, "distance, or LOW HIGH for limits")->check(kFinite);
    stage->add_option("--speed", stage_speed, "set: stage speed (default 10)")->check(kFinite);
    stage->callback([&] {
        const size_t n = stage_values.size();
        const bool good = (stage_action == "get" && n == 0) ||
                          ((stage_action == "set" || stage_action == "update") && n == 1) ||
                          (stage_action == "limits" && (n == 0 || n == 2));
        if (!good) throw CLI::ValidationError("stage " + stage_action, "wrong number of values");
    });

    // ---- motion
    auto *drv = add("drive", "drive the circles to a set of angles and wait for the motion", true,
                    [&](Session &s) { return cmd_drive(s, drive); });
    add_angles(drv, drive.target);
    drv->add_option("--speed", drive.speeds,
                    "one speed for all circles (default 5), or four: S1,S2,S3,S4")
        ->delimiter(',')
        ->check(kFinite);
    auto *osc = drv->add_flag("--oscillate", drive.oscillate,
                              "oscillation scan over the first moving circle (types 2 and 4)");
    drv->add_flag("--rotate-phi", drive.rotate_phi, "phi rotation with gate and shutter")
        ->excludes(osc);
    drv->add_flag("--gate", drive.gate, "detector gate on before and off after the scan");
    drv->add_flag("--shutter", drive.shutter, "shutter open during the scan");
    drv->add_flag("--attenuator", drive.attenuator, "attenuated exposure during the scan");
    drv->add_flag("--rewind", drive.rewind, "drive the scan circle back afterwards");
    drv->add_option("--count", drive.count, "readings of the counting command (type 3)")
        ->check(CLI::Range(0, 999999));
    drv->add_option("--count-value", drive.count_value, "the counting command's real value")
        ->check(kFinite);
    drv->add_option("--readings", drive.readings, "oscillation: readings over the scan")
        ->check(CLI::Range(0, 999999));
    lead_opt = drv->add_option("--lead", lead, "gate: ms between gate on and shutter open");
    trail_opt = drv->add_option("--trail", trail, "gate: ms between scan end and gate off");
    flags_opt = drv->add_option("--flags", raw_flags, "further raw flag bits");
    drv->add_option("--timeout", drive.timeout, "seconds to wait for each reply and in all")
        ->check(CLI::NonNegativeNumber & kFinite);
    drv->add_flag("--no-wait", drive.no_wait, "send the drive and return");
    drv->callback([&] {
        if (!drive.speeds.empty() && drive.speeds.size() != 1 && drive.speeds.size() != 4)
            throw CLI::ValidationError("--speed", "give one speed or four");
        if (*lead_opt) drive.lead_ms = lead;
        if (*trail_opt) drive.trail_ms = trail;
        if (*flags_opt) drive.extra_flags = raw_flags;
    });

    auto *home = add("home", "home one circle", true,
                     [&](Session &s) { return cmd_home(s, home_circle, home_speed); });
    home->add_option("circle", home_circle, "1 2theta, 2 omega, 3 phi, 4 chi")
        ->required()
        ->check(CLI::Range(1, 4));
    home->add_option("--speed", home_speed, "homing speed (default 5)")
        ->check(CLI::PositiveNumber & kFinite);

    auto *enc = add("encoder", "set the encoder of a circle", true,
                    [&](Session &s) { return cmd_encoder(s, enc_circle, enc_value); });
    enc->add_option("circle", enc_circle, "1..4")->required()->check(CLI::Range(1, 4));
    enc->add_option("value", enc_value, "degrees")->required()->check(kFinite);

    auto *man = add("manual", "set the manual-mode speeds and enter manual mode", true,
                    [&](Session &s) { return cmd_manual(s, man_speeds, man_params); });
    man->add_option("--speed", man_speeds, "one speed, or up to five (4 circles, stage)")
        ->delimiter(',')
        ->check(kFinite)
        ->expected(1, 5);
    man->add_option("--params", man_params, "the two manual-mode parameters P1,P2")
        ->delimiter(',')
        ->expected(1, 2);

    // ---- peripherals
    auto *sh = add("shutter", "open, close or show the shutter", true,
                   [&](Session &s) { return cmd_shutter(s, shutter_action, shutter_delay); });
    sh->add_option("action", shutter_action, "open, close or status")
        ->required()
        ->check(CLI::IsMember({"open", "close", "status"}));
    sh->add_option("--delay", shutter_delay, "controller wait before it, in ms")
        ->check(CLI::Range(0, 99999));

    auto *att = add("attenuator", "attenuator: in (open attenuated), open, close, status", true,
                    [&](Session &s) { return cmd_attenuator(s, att_action, att_delay); });
    att->add_option("action", att_action, "in, open, close or status")
        ->required()
        ->check(CLI::IsMember({"in", "open", "close", "status"}));
    att->add_option("--delay", att_delay, "open/close: controller wait before it, in ms")
        ->check(CLI::Range(0, 99999));

    auto *det = add("detector",
                    "detector signal: on, off, gate MS, expose LEAD EXP TRAIL, attenuated LEAD "
                    "EXP TRAIL",
                    true, [&](Session &s) { return cmd_detector(s, det_action, det_times); });
    det->add_option("action", det_action, "on, off, gate, expose or attenuated")
        ->required()
        ->check(CLI::IsMember({"on", "off", "gate", "expose", "attenuated"}));
    det->add_option("times", det_times, "times in ms");
    det->callback([&] {
        const size_t want = (det_action == "gate")                        ? 1
                            : (det_action == "on" || det_action == "off") ? 0
                                                                          : 3;
        if (det_times.size() != want)
            throw CLI::ValidationError("detector " + det_action,
                                       "expects " + std::to_string(want) + " time(s) in ms");
    });

    auto *gen = add("generator", "X-ray generator: get, or set KV MA", true, [&](Session &s) {
        if (gen_action == "get") return cmd_generator_get(s);
        return cmd_generator_set(s, gen_values.at(0), gen_values.at(1));
    });
    gen->add_option("action", gen_action, "get or set")
        ->required()
        ->check(CLI::IsMember({"get", "set"}));
    gen->add_option("values", gen_values, "set: voltage (kV) and current (mA)")->check(kFinite);
    gen->callback([&] {
        if (gen_values.size() != (gen_action == "set" ? 2u : 0u))
            throw CLI::ValidationError("generator " + gen_action,
                                       gen_action == "set" ? "expects KV MA" : "takes no values");
    });

    // ---- controller and errors
    auto *rst = add("reset", "reset the controller (hard; --soft for a soft reset)", true,
                    [&](Session &s) { return cmd_reset(s, soft); });
    rst->add_flag("--soft", soft, "soft reset");

    auto *err = add("error", "show the text of an error value", false,
                    [&](Session &s) { return cmd_error(s, err_value, err_code); });
    err->add_option("value", err_value, "the error value (or, with --code, the library code)")
        ->required();
    err->add_flag("--code", err_code, "the value is a library code 1..36");

    demo = add("demo", "narrated data-collection session against the simulator", false,
               [](Session &s) { return cmd_demo(s); });
}

// The names that begin a command on the command line.
bool is_command(const std::string &word) {
    static const char *const names[] = {
        "angles", "update",  "check",      "limits",   "stage",     "drive", "home",  "encoder",
        "manual", "shutter", "attenuator", "detector", "generator", "reset", "error", "demo"};
    for (const char *n : names)
        if (word == n) return true;
    return false;
}

}  // namespace

int main(int argc, char **argv) {
    // The command line is cut into the global options and one piece per
    // command; each piece is parsed with the global options in front of it,
    // so that a command may appear more than once.
    std::vector<std::string> globals;
    std::vector<std::vector<std::string>> pieces;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        // "stage update" and "stage limits" name the stage's own actions.
        const bool stage_action = i > 1 && std::string(argv[i - 1]) == "stage";
        if (is_command(word) && !stage_action) pieces.emplace_back();
        if (pieces.empty())
            globals.push_back(word);
        else
            pieces.back().push_back(word);
    }
    if (pieces.empty()) pieces.emplace_back();  // let the parser say what is missing

    std::vector<std::unique_ptr<Cli>> parsed;
    std::vector<std::pair<std::string, Step *>> plan;
    bool needs_link = false;
    bool demo = false;
    for (const auto &piece : pieces) {
        auto cli = std::make_unique<Cli>();
        std::vector<std::string> args(globals);
        args.insert(args.end(), piece.begin(), piece.end());
        // CLI11 takes the arguments in reverse order.
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        try {
            cli->app.parse(reversed);
        } catch (const CLI::ParseError &e) {
            const int rc = cli->app.exit(e);
            return rc == 0 ? 0 : kExitUsage;
        }
        CLI::App *sub = cli->app.get_subcommands().at(0);
        Step &st = cli->steps.at(sub);
        plan.emplace_back(sub->get_name(), &st);
        needs_link = needs_link || st.needs_link;
        demo = demo || sub == cli->demo;
        parsed.push_back(std::move(cli));
    }
    Globals g = parsed.front()->g;
    if (demo) {
        if (plan.size() != 1) {
            std::fprintf(stderr, "gonioctl: demo runs on its own\n");
            return kExitUsage;
        }
        if (!g.device.empty()) {
            std::fprintf(stderr, "gonioctl: demo runs against the simulator only\n");
            return kExitUsage;
        }
        g.sim = true;
    }

    Output out;
    out.init(g.json);
    install_interrupt_handler();
    Session session(out);
    if (!session.prepare(g)) return kExitFailure;

    if (needs_link) {
        out.begin(plan.front().first);
        if (!session.open(plan.front().first)) {
            out.end(false);
            return session.interrupted() ? kExitInterrupted : kExitFailure;
        }
    }
    bool ok = true;
    for (size_t i = 0; i < plan.size() && ok; ++i) {
        out.begin(plan[i].first);
        // Ctrl-C between two commands stops the rest of the line.
        if (session.interrupted()) {
            session.report_interrupt(plan[i].first);
            out.end(false);
            ok = false;
            break;
        }
        ok = plan[i].second->run(session);
        out.end(ok);
    }
    session.close();
    if (ok) return 0;
    return session.interrupted() ? kExitInterrupted : kExitFailure;
}
