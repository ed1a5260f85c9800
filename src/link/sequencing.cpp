// Splits a text holding several controller commands into one command line
// per command. Each upper-case command letter starts a new command, except
// the second letter of a two-letter mnemonic (GC, GS, RC, WA, any case).
#include "link/sequencing.h"

#include "core/state.h"
#include "core/text.h"
#include "link/framing.h"

namespace gonioctl {

namespace {

constexpr char kCommandLetters[] = "ASDCMIWU";
constexpr int32_t kCommandLetterCount = 8;
constexpr const char *kMnemonics[] = {"GC", "GS", "RC", "WA"};
// Longest command line sent, without its CR.
constexpr int32_t kPieceLen = 32;

bool starts_with_mnemonic(const char *at, int32_t left) {
    if (left < 2) return false;
    for (const char *m : kMnemonics) {
        if (CASECMP(at, 2, m, 2, 2) == 0) return true;
    }
    return false;
}

}  // namespace

void GCPUTS(const char *text, int32_t len, int32_t &status) {
    status = 0;
    if (g_state.link_open == 0 || text == nullptr || len <= 0) return;

    int32_t start = SKIPSET(text, len, " \t", 2);
    // A text of nothing but blanks and tabs sends nothing.
    while (start > 0) {
        const int32_t left = len - start + 1;
        const int32_t skip = starts_with_mnemonic(text + start - 1, left) ? 2 : 1;

        int32_t next = 0;
        if (start + skip <= len) {
            int32_t found = SCANSET(text + start - 1 + skip, len - start + 1 - skip,
                                    kCommandLetters, kCommandLetterCount);
            if (found > 0) next = start - 1 + skip + found;
        }
        const int32_t piece_end = next > 0 ? next - 1 : len;

        // One command line, cut at 32 characters, with room for its CR.
        char line[kPieceLen + 1];
        set_text(line, kPieceLen, text + start - 1, piece_end - start + 1);
        int32_t t = TRIMLEN(line, kPieceLen);
        if (t > 0) {
            if (line[t - 1] != '\r') line[t++] = '\r';
            GCPUT1(line, t, status);
            if (status != 0) return;
        }
        start = next;
    }
}

}  // namespace gonioctl
