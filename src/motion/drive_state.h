// The record of the last drive request. gcdrsc / gcqdrsc are its only writers;
// gcqflush1 re-sends the drive buffer and reports the moving-axes mask again,
// and a no-motion request sends the buffer as it stands.
#pragma once

#include <cstdint>

namespace gonioctl {

inline constexpr int32_t kDriveBufferLen = 120;
inline constexpr int32_t kScanCommandLen = 120;
inline constexpr int32_t kSingleCommandLen = 32;
inline constexpr int32_t kNumberTextLen = 32;

// Drive modes of gcdrsc / gcqdrsc; any other value is a plain move.
inline constexpr int32_t kDriveNoMotion = 0;
inline constexpr int32_t kDriveOscillation = 2;
inline constexpr int32_t kDrivePhiRotation = 3;

struct DriveState {
    float targets[4] = {0.0f, 0.0f, 0.0f, 0.0f};   // requested angles reduced into 0..360
    float speeds[4] = {0.0f, 0.0f, 0.0f, 0.0f};    // copy of the speeds argument
    float cut_refs[4] = {0.0f, 0.0f, 0.0f, 0.0f};  // angle a move must not pass through
    float deltas[4] = {0.0f, 0.0f, 0.0f, 0.0f};    // signed distance of the last plain move
    int32_t moving_mask = 0;                       // bit 2^k: circle k+1 commanded to move
    char buffer[kDriveBufferLen] = {};             // closing line; all NUL (empty) at load
    char scan_command[kScanCommandLen] = {};       // "D" or an oscillation command
    char single_command[kSingleCommandLen] = {};   // one speed, move or counting command
    char number_text[kNumberTextLen] = {};         // scratch for one formatted field
};

extern constinit DriveState g_drive;

}  // namespace gonioctl
