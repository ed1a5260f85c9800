// Output of the gonioctl tool: human-readable text, or one JSON object per
// command (JSON Lines) for scripts.
//
// In JSON mode the process's standard output is moved onto standard error
// before the library is first called, so that the library's own trace lines
// and error reports never mix with the JSON documents; the documents go to the
// original standard output.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace gonioctl::cli {

// A JSON object built field by field, in insertion order.
class Json {
  public:
    Json &str(std::string_view key, std::string_view value);
    Json &num(std::string_view key, double value);
    Json &integer(std::string_view key, int64_t value);
    Json &boolean(std::string_view key, bool value);
    Json &object(std::string_view key, const Json &value);
    Json &numbers(std::string_view key, const std::vector<double> &values);
    Json &raw(std::string_view key, std::string value);
    bool empty() const { return fields_.empty(); }
    std::string dump() const;

    static std::string quote(std::string_view text);
    static std::string number(double value);

  private:
    std::vector<std::pair<std::string, std::string>> fields_;
};

// The four circles as a JSON object.
Json angles_json(const float *angles);
// The four circles as one text line: "2theta  20.000  omega ...".
std::string angles_text(const float *angles);

class Output {
  public:
    // Called once, before the first library call.
    void init(bool json);
    bool json() const { return json_; }

    // Text mode: a line on standard output (nothing in JSON mode).
    void text(const std::string &line);
    // Progress while waiting: text mode only, flushed at once.
    void progress(const std::string &line);
    // A warning (controller fault reports and the like): standard error in
    // text mode, collected into the command's document in JSON mode.
    void warn(const std::string &line);
    // A failure: standard error in text mode, into the document in JSON mode.
    void error(std::string_view command, int32_t value, const std::string &text);

    // The document of the command now running (JSON mode).
    void begin(std::string_view command);
    Json &doc() { return doc_; }
    void end(bool ok);

  private:
    bool json_ = false;
    FILE *json_out_ = stdout;
    std::string command_;
    Json doc_;
    std::vector<std::string> warnings_;
    bool have_error_ = false;
    Json error_;
};

}  // namespace gonioctl::cli
