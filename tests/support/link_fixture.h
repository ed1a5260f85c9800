// Fixture pieces shared by the link tests: a pseudo-terminal peer selected
// as COM1, and a way to open the link without the opening handshake.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <string_view>
#include <thread>

#include "core/state.h"
#include "link/framing.h"
#include "link/link.h"
#include "link/serial.h"
#include "support/pty_peer.h"

namespace testsupport {

// The link opened on a fresh terminal with a raw line and no flow control,
// so the reader itself sees every byte the controller sends (XON and XOFF
// included); no commands are exchanged at open.
class RawLink : public ::testing::Test {
  protected:
    void SetUp() override {
        peer.select_port(1);
        int32_t st = 0;
        gonioctl::COMOPEN(st);
        ASSERT_EQ(st, 0);
        gonioctl::COMSETUP(9600, 8, "N", 1, 1.0f, "N", 1, st);
        ASSERT_EQ(st, 0);
        gonioctl::g_state.link_open = 1;
    }
    void TearDown() override {
        int32_t ier = 0;
        gonioctl::gcclose(ier);
    }

    // Writes bytes as the controller and waits until all of them are queued
    // on the library's side.
    void queue(std::string_view bytes) {
        int32_t before = 0;
        gonioctl::gcpoll(before);
        peer.send(bytes);
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        int32_t q = 0;
        do {
            gonioctl::gcpoll(q);
            if (q >= before + static_cast<int32_t>(bytes.size())) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        } while (std::chrono::steady_clock::now() < until);
        FAIL() << "bytes not queued";
    }

    // Everything the library sends up to a marker line it sends after.
    std::string sent_before_marker() {
        int32_t st = 0;
        gonioctl::GCPUT1("|\r", 2, st);
        EXPECT_TRUE(peer.wait_for_suffix("|\r"));
        std::string all = peer.received();
        peer.clear_received();
        return all.substr(0, all.size() - 2);
    }

    PtyPeer peer;
};

}  // namespace testsupport
