// Command transmission and reply reception.
#pragma once

#include <cstdint>

namespace gonioctl {

// Control characters of the command language: the record end, the dropped
// line feed and flow-control characters, and the signals (a reset is
// answered with its own BEL or ACK).
inline constexpr char kCR = 13;
inline constexpr char kLF = 10;
inline constexpr char kXON = 17;  // DC1
inline constexpr char kXOFF = 19;
inline constexpr char kBEL = 7;
inline constexpr char kEOT = 4;
inline constexpr char kACK = 6;

// Sends the text up to its trimmed length; status is always 0.
void GCPUT1(const char *text, int32_t len, int32_t &status);
// Receives one reply record (up to and including CR) into buf; timeout <= 0 waits without limit.
void GCGETW(char *buf, int32_t len, float timeout, int32_t &count, int32_t &status);
// Flush, send with GCPUTS, receive one record with a 15-second time-out.
void GCQUERY(const char *cmd, int32_t cmdlen, char *reply, int32_t replylen, int32_t &status);
// Discards every received byte waiting, looking again after a pause while
// more keeps arriving, for at most g_flush_passes looks.
void gcflush();
// Number of received bytes waiting, -1 while the link is closed.
void gcpoll(int32_t &count);

// How many batches gcflush discards (each followed by a 0.1-second pause)
// before it gives up on a line that never falls quiet. Lowered by tests only.
extern constinit int32_t g_flush_passes;

}  // namespace gonioctl
