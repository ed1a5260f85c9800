// Three-line error reports on standard output at trace level 1 or more, and
// the texts that explain a status number by its family.
#include "support/report.h"

#include <string_view>

#include "core/clock.h"
#include "core/format.h"
#include "core/text.h"
#include "core/trace.h"
#include "support/console.h"

namespace gonioctl {

namespace {

constexpr int32_t kReportLen = 80;

// Operating-system error names, row k at index k - 1.
constexpr std::string_view kWindowsNames[180] = {
    "ERROR_INVALID_FUNCTION",
    "ERROR_FILE_NOT_FOUND",
    "ERROR_PATH_NOT_FOUND",
    "ERROR_TOO_MANY_OPEN_FILES",
    "ERROR_ACCESS_DENIED",
    "ERROR_INVALID_HANDLE",
    "ERROR_ARENA_TRASHED",
    "ERROR_NOT_ENOUGH_MEMORY",
    "ERROR_INVALID_BLOCK",
    "ERROR_BAD_ENVIRONMENT",
    "ERROR_BAD_FORMAT",
    "ERROR_INVALID_ACCESS",
    "ERROR_INVALID_DATA",
    "ERROR_OUTOFMEMORY",
    "ERROR_INVALID_DRIVE",
    "ERROR_CURRENT_DIRECTORY",
    "ERROR_NOT_SAME_DEVICE",
    "ERROR_NO_MORE_FILES",
    "ERROR_WRITE_PROTECT",
    "ERROR_BAD_UNIT",
    "ERROR_NOT_READY",
    "ERROR_BAD_COMMAND",
    "ERROR_CRC",
    "ERROR_BAD_LENGTH",
    "ERROR_SEEK",
    "ERROR_NOT_DOS_DISK",
    "ERROR_SECTOR_NOT_FOUND",
    "ERROR_OUT_OF_PAPER",
    "ERROR_WRITE_FAULT",
    "ERROR_READ_FAULT",
    "ERROR_GEN_FAILURE",
    "ERROR_SHARING_VIOLATION",
    "ERROR_LOCK_VIOLATION",
    "ERROR_WRONG_DISK",
    "no such error",
    "ERROR_SHARING_BUFFER_EXCEEDED",
    "no such error",
    "ERROR_HANDLE_EOF",
    "ERROR_HANDLE_DISK_FULL",
    "no such error",
    "no such error",
    "no such error",
    "no such error",
    "no such error",
    "no such error",
    "no such error",
    "no such error",
    "no such error",
    "no such error",
    "ERROR_NOT_SUPPORTED",
    "ERROR_REM_NOT_LIST",
    "ERROR_DUP_NAME",
    "ERROR_BAD_NETPATH",
    "ERROR_NETWORK_BUSY",
    "ERROR_DEV_NOT_EXIST",
    "ERROR_TOO_MANY_CMDS",
    "ERROR_ADAP_HDW_ERR",
    "ERROR_BAD_NET_RESP",
    "ERROR_UNEXP_NET_ERR",
    "ERROR_BAD_REM_ADAP",
    "ERROR_PRINTQ_FULL",
    "ERROR_NO_SPOOL_SPACE",
    "ERROR_PRINT_CANCELLED",
    "ERROR_NETNAME_DELETED",
    "ERROR_NETWORK_ACCESS_DENIED",
    "ERROR_BAD_DEV_TYPE",
    "ERROR_BAD_NET_NAME",
    "ERROR_TOO_MANY_NAMES",
    "ERROR_TOO_MANY_SESS",
    "ERROR_SHARING_PAUSED",
    "ERROR_SHARING_PAUSED",
    "ERROR_REDIR_PAUSED",
    "no such error",
    "no such error",
    "no such error",
    "no such error",
    "no such error",
    "no such error",
    "no such error",
    "ERROR_FILES_EXISTS",
    "no such error",
    "ERROR_CANNOT_MAKE",
    "ERROR_FAIL_I24",
    "ERROR_OUT_OF_STRUCTURES",
    "ERROR_ALREADY_ASSIGNED",
    "ERROR_INVALID_PASSWORD",
    "ERROR_INVALID_PARAMETER",
    "ERROR_NET_WRITE_FAULT",
    "ERROR_NO_PROC_SLOTS",
    "no such error",
    "no such error",
    "no such error",
    "no such error",
    "no such error",
    "no such error",
    "no such error",
    "no such error",
    "no such error",
    "no such error",
    "ERROR_TOO_MANY_SEMAPHORES",
    "ERROR_EXCL_SEM_ALREADY_OWNED",
    "ERROR_SEM_IS_SET",
    "ERROR_TOO_MANY_SEM_REQUESTS",
    "ERROR_INVALID_AT_INTERRUPT_TIME",
    "ERROR_SEM_OWNER_DIED",
    "ERROR_SEM_USER_LIMIT",
    "ERROR_DISK_CHANGED",
    "ERROR_DRIVE_LOCKED",
    "ERROR_BROKEN_PIPE",
    "ERROR_OPEN_FAILED",
    "ERROR_BUFFER_OVERFLOW",
    "ERROR_DISK_FULL",
    "ERROR_NO_MORE_SEARCH_HANDLES",
    "ERROR_INVALID_TARGET_HANDLE",
    "no such error",
    "no such error",
    "ERROR_INVALID_CATAGORY",
    "ERROR_INVALID_VERIFY_SWITCH",
    "ERROR_BAD_DRIVER_LEVEL",
    "ERROR_CALL_NOT_IMPLEMENTED",
    "ERROR_SEM_TIMEOUT",
    "ERROR_INSUFFICIENT_BUFFER",
    "ERROR_INVALID_NAME",
    "ERROR_INVALID_LEVEL",
    "ERROR_NO_VOLUME_LABEL",
    "ERROR_MOD_NOT_FOUND",
    "ERROR_PROC_NOT_FOUND",
    "ERROR_WAIT_NO_CHILDREN",
    "ERROR_CHILD_NOT_COMPLETE",
    "ERROR_DIRECT_ACCESS_HANDLE",
    "ERROR_NEGATIVE_SEEK",
    "ERROR_SEEK_ON_DEVICE",
    "ERROR_IS_JOIN_TARGET",
    "ERROR_IS_JOINED",
    "ERROR_IS_SUBSTED",
    "ERROR_NOT_JOINED",
    "ERROR_NOT_SUBSTED",
    "ERROR_JOIN_TO_JOIN",
    "ERROR_SUBST_TO_SUBST",
    "ERROR_JOIN_TO_SUBST",
    "ERROR_SUBST_TO_JOIN",
    "ERROR_BUSY_DRIVE",
    "ERROR_SAME_DRIVE",
    "ERROR_DIR_NOT_ROOT",
    "ERROR_DIR_NOT_EMPTY",
    "ERROR_IS_SUBST_PATH",
    "ERROR_IS_JOIN_PATH",
    "ERROR_PATH_BUSY",
    "ERROR_IS_SUBST_TARGET",
    "ERROR_SYSTEM_TRACE",
    "ERROR_INVALID_EVENT_COUNT",
    "ERROR_TOO_MANY_MUX_WAITERS",
    "ERROR_INVALID_LIST_FORMAT",
    "ERROR_LABEL_TOO_LONG",
    "ERROR_TOO_MANY_TCBS",
    "ERROR_SIGNAL_REFUSED",
    "ERROR_DISCARDED",
    "ERROR_NOT_LOCKED",
    "ERROR_BAD_THREADID_ADDR",
    "ERROR_BAD_ARGUMENTS",
    "ERROR_BAD_PATHNAME",
    "ERROR_SIGNAL_PENDING",
    "ERROR_",
    "ERROR_MAX_THRDS_REACHED",
    "ERROR_",
    "ERROR_",
    "ERROR_LOCK_FAILED",
    "ERROR_",
    "ERROR_",
    "ERROR_BUSY",
    "ERROR_",
    "ERROR_",
    "ERROR_CANCEL_VIOLATION",
    "ERROR_ATOMIC_LOCKS_NOT_SUPPORTED",
    "ERROR_",
    "ERROR_",
    "ERROR_",
    "ERROR_",
    "ERROR_",
    "ERROR_INVALID_SEGMENT_NUMBER",
};

// Run-time I/O error messages, row n at index n - 1; an empty message
// leaves the row number alone.
constexpr std::string_view kRuntimeMessages[108] = {
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "Permission to access file denied",
    "Cannot overwrite existing file",
    "Unit not connected",
    "",
    "",
    "",
    "",
    "",
    "Syntax error in NAMELIST input",
    "To many values for NAMELIST variable",
    "Invalid reference to variable in NAMELIST input",
    "REWIND error",
    "Duplicate file specifications",
    "Input record too long",
    "BACKSPACE error",
    "End-of-file during read",
    "Record number outside range",
    "OPEN or DEFINE FILE required",
    "Too many records in I/O statement",
    "CLOSE error",
    "File not found",
    "Open failure",
    "Mixed file access modes",
    "Invalid logical unit number",
    "ENDFILE error",
    "Unit already open",
    "Segmented record format error",
    "Attempt to access non-existent record",
    "Inconsistent record length",
    "Error during write",
    "Error during read",
    "Recursive I/O operation",
    "Insufficient virtual memory",
    "No such device",
    "File name specification error",
    "Inconsistent record type",
    "Keyword value error in OPEN statement",
    "Inconsistent OPEN/CLOSE parameters",
    "Write to READONLY file",
    "Invalid argument passed to run-time library",
    "",
    "",
    "Inconsistent file organization",
    "",
    "No current record",
    "",
    "DELETE error",
    "",
    "FIND error",
    "Format syntax error at or near xx",
    "List-directed I/O syntax error",
    "Infinite format loop",
    "Format/variable-type mismatch",
    "Syntax error in format",
    "Output conversion error",
    "Input conversion error",
    "Floating invalid",
    "Output statement overflows record",
    "Input statement requires too much data",
    "Variable format expression value error",
    "",
    "Integer overflow",
    "Integer divide by zero",
    "Floating overflow",
    "Floating divide by zero",
    "Floating underflow",
    "Floating point exception",
    "IOT trap signal",
    "Subscript out of range",
    "Process killed",
    "Process quit",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "Floating-point conversion failed",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "Cannot stat file",
};

// Library-wide report buffer, reused for the first and third line.
constinit char g_report[kReportLen] = {};

// "nnn text": a row number with leading zeros, a blank and the row's text.
void numbered_row(char *text, int32_t len, int32_t row, std::string_view words) {
    const char digits[3] = {static_cast<char>('0' + row / 100),
                            static_cast<char>('0' + row / 10 % 10),
                            static_cast<char>('0' + row % 10)};
    FieldWriter w(text, len);
    w.a(digits, 3);
    if (!words.empty()) w.tr(1).lit(words);
}

}  // namespace

void ERR_TEXT(int32_t value, char *text, int32_t len) {
    if (text == nullptr || len <= 0) return;
    blank_fill(text, len);
    if (value == 0) return;
    if (value == -1 || value == 599) {
        FieldWriter(text, len).lit("End of file found on a READ with no END= option");
    } else if (value >= 1 && value <= 180) {
        numbered_row(text, len, value, kWindowsNames[value - 1]);
    } else if (value >= 181 && value <= 1900) {
        FieldWriter(text, len).lit("WNT Error Message #").tr(1).i(value, 5);
    } else if (value >= 2001 && value <= 2108) {
        numbered_row(text, len, value - 2000, kRuntimeMessages[value - 2001]);
    } else if (value >= 2109 && value <= 2759) {
        // 2109 to 2130 have no row in the table either: they share the
        // numbered form of the higher run-time errors.
        const int32_t n = value - 2000;
        FieldWriter(text, len).lit("RTL Error Message #").tr(2).i(n, 11).tr(1).z(n, 8);
    } else {
        FieldWriter(text, len).lit("Unknown Error Message #").tr(13).i(value, 11).tr(1).z(value, 8);
    }
}

void ERR_REPORT(int32_t value, const char *label, int32_t labellen) {
    if (DBGLEVEL() <= 0) return;
    FieldWriter(g_report, kReportLen)
        .lit(" Error number (decimal,hex): ")
        .i(value, 11)
        .z(value, 10)
        .lit("   at (sec): ")
        .f(seconds_of_day(), 15, 3);
    CON_LINE(g_report, kReportLen);
    CON_LINE(label, labellen);
    ERR_TEXT(value, g_report, kReportLen);
    CON_LINE(g_report, kReportLen);
}

}  // namespace gonioctl
