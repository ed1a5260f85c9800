// A raw pseudo-terminal whose master side plays the controller in tests:
// it records every byte the library writes, can answer each received line,
// and can write exact replies or hang up.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace testsupport {

class PtyPeer {
  public:
    // Answer to one received line (CR included); the bytes returned are written back.
    using Responder = std::function<std::string(const std::string &line)>;

    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer &) = delete;
    PtyPeer &operator=(const PtyPeer &) = delete;

    const std::string &path() const { return path_; }
    // The peer's own descriptor of the terminal's device side (for tcgetattr).
    int slave_fd() const { return slave_; }

    // Points GONIOCTL_COMn at this terminal and selects port n.
    void select_port(int n = 1);

    void on_line(Responder fn);
    // Writes bytes to the library as the controller.
    void send(std::string_view bytes);
    // Everything received so far, and its reset.
    std::string received();
    void clear_received();
    // Waits until the received bytes end with the suffix; false after ms.
    bool wait_for_suffix(std::string_view suffix, int ms = 3000);
    // Closes the controller side: the library's descriptor sees a hang-up.
    void hang_up();
    // Writes the pattern over and over, as fast as the terminal takes it,
    // until stop_flood() or for at most max_ms.
    void start_flood(std::string pattern, int max_ms = 5000);
    void stop_flood();

  private:
    void run();
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
    std::mutex mu_;
    std::string received_;
    std::string line_;
    Responder responder_;
    std::atomic<bool> stop_{false};
    std::thread reader_;
    std::atomic<bool> flood_stop_{false};
    std::thread flooder_;
};

}  // namespace testsupport
