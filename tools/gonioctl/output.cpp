#include "output.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>

namespace gonioctl::cli {

std::string Json::quote(std::string_view text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += '"';
    return out;
}

std::string Json::number(double value) {
    // JSON has no NaN or infinity.
    if (!std::isfinite(value)) return "null";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", value);
    return buf;
}

Json &Json::str(std::string_view key, std::string_view value) {
    return raw(key, quote(value));
}
Json &Json::num(std::string_view key, double value) {
    return raw(key, number(value));
}
Json &Json::integer(std::string_view key, int64_t value) {
    return raw(key, std::to_string(value));
}
Json &Json::boolean(std::string_view key, bool value) {
    return raw(key, value ? "true" : "false");
}
Json &Json::object(std::string_view key, const Json &value) {
    return raw(key, value.dump());
}
Json &Json::numbers(std::string_view key, const std::vector<double> &values) {
    std::string out = "[";
    for (size_t i = 0; i < values.size(); ++i) {
        if (i) out += ',';
        out += number(values[i]);
    }
    out += ']';
    return raw(key, std::move(out));
}

Json &Json::raw(std::string_view key, std::string value) {
    for (auto &f : fields_) {
        if (f.first == key) {
            f.second = std::move(value);
            return *this;
        }
    }
    fields_.emplace_back(std::string(key), std::move(value));
    return *this;
}

std::string Json::dump() const {
    std::string out = "{";
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (i) out += ',';
        out += quote(fields_[i].first);
        out += ':';
        out += fields_[i].second;
    }
    out += '}';
    return out;
}

Json angles_json(const float *a) {
    Json j;
    j.num("2theta", a[0]).num("omega", a[1]).num("phi", a[2]).num("chi", a[3]);
    return j;
}

std::string angles_text(const float *a) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "2theta %9.3f  omega %9.3f  phi %9.3f  chi %9.3f", a[0], a[1],
                  a[2], a[3]);
    return buf;
}

void Output::init(bool json) {
    json_ = json;
    // Line buffering keeps our lines in order with the library's own trace
    // lines, which go to the same descriptor.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (!json_) return;
    // Keep the real standard output for the documents and send everything
    // else written to descriptor 1 (library trace lines) to standard error.
    std::fflush(stdout);
    int fd = dup(STDOUT_FILENO);
    if (fd >= 0) {
        FILE *f = fdopen(fd, "w");
        if (f) {
            json_out_ = f;
            dup2(STDERR_FILENO, STDOUT_FILENO);
        } else {
            close(fd);
        }
    }
}

void Output::text(const std::string &line) {
    if (json_) return;
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
}

void Output::progress(const std::string &line) {
    if (json_) return;
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void Output::warn(const std::string &line) {
    if (json_) {
        warnings_.push_back(line);
        return;
    }
    std::fflush(stdout);
    std::fprintf(stderr, "gonioctl: warning: %s\n", line.c_str());
}

void Output::error(std::string_view command, int32_t value, const std::string &text) {
    if (json_) {
        have_error_ = true;
        error_ = Json();
        error_.integer("value", value).str("text", text);
        return;
    }
    std::fflush(stdout);
    if (value != 0)
        std::fprintf(stderr, "gonioctl: %.*s: %s (error value %d)\n",
                     static_cast<int>(command.size()), command.data(), text.c_str(),
                     static_cast<int>(value));
    else
        std::fprintf(stderr, "gonioctl: %.*s: %s\n", static_cast<int>(command.size()),
                     command.data(), text.c_str());
}

void Output::begin(std::string_view command) {
    command_ = command;
    doc_ = Json();
    warnings_.clear();
    have_error_ = false;
}

void Output::end(bool ok) {
    if (!json_) {
        std::fflush(stdout);
        return;
    }
    Json out;
    out.str("command", command_).boolean("ok", ok);
    std::string body = doc_.dump();
    // Splice the command's own fields after "command" and "ok".
    std::string head = out.dump();
    head.pop_back();
    if (body.size() > 2) {
        head += ',';
        head.append(body, 1, body.size() - 2);
    }
    if (have_error_) head += ",\"error\":" + error_.dump();
    if (!warnings_.empty()) {
        head += ",\"warnings\":[";
        for (size_t i = 0; i < warnings_.size(); ++i) {
            if (i) head += ',';
            head += Json::quote(warnings_[i]);
        }
        head += ']';
    }
    head += '}';
    std::fputs(head.c_str(), json_out_);
    std::fputc('\n', json_out_);
    std::fflush(json_out_);
}

}  // namespace gonioctl::cli
