// The one place where command texts are written and reply fields are read.
//
// Writing follows the fixed-width templates of the command language:
//   Iw    integer right-justified in w characters, blank-filled on the left
//   Fw.d  fixed point rounded to d decimals (halves away from zero),
//         right-justified, '-' before a negative value, '0' before the point
//         when the magnitude is below 1 and the field has room
//   Zw    integer in upper-case hexadecimal, right-justified (a negative value
//         that fits in 32 bits shows its 32-bit two's complement)
//   TRn   n blanks;  Aw / 'text'  characters copied unchanged
// A value too wide for its field (or not finite) is written as w '*'. A
// value that rounds to zero is written without a minus sign.
//
// Reading follows the same templates (blanks ignored, an all-blank field is 0,
// a field without a point takes its last d digits as decimals) and the
// free-format list read of controller replies.
//
// Read statuses are those of a numeric read: 0 success, kReadEnd (-1) when
// the text ends before an item, kReadBad (64) when characters do not form a
// number. ERR_IOSTAT turns them into the library's status numbers.
#pragma once

#include <cstdint>
#include <string_view>

namespace gonioctl {

inline constexpr int32_t kReadEnd = -1;
inline constexpr int32_t kReadBad = 64;

// Writes fields one after another into a fixed buffer. The buffer is
// blank-filled when the writer is made; nothing is ever written past its
// length (a field that would run past the end is cut and overflowed() is set).
class FieldWriter {
  public:
    FieldWriter(char *buf, int32_t len);

    FieldWriter &lit(std::string_view s);            // 'text'
    FieldWriter &chr(char c);                        // A1 of one character
    FieldWriter &a(const char *s, int32_t w);        // Aw
    FieldWriter &i(int64_t v, int32_t w);            // Iw
    FieldWriter &f(double v, int32_t w, int32_t d);  // Fw.d
    FieldWriter &z(int64_t v, int32_t w);            // Zw
    FieldWriter &tr(int32_t n = 1);                  // TRn

    int32_t pos() const { return pos_; }  // characters written so far
    bool overflowed() const { return overflow_; }

  private:
    void put(const char *s, int32_t n);
    template <class Write>
    FieldWriter &field(int32_t w, Write write);
    char *buf_;
    int32_t len_;
    int32_t pos_ = 0;
    bool overflow_ = false;
};

// Single fields written into dst[0..w-1] (no NUL added).
void write_i(char *dst, int32_t w, int64_t v);
void write_f(char *dst, int32_t w, int32_t d, double v);
void write_z(char *dst, int32_t w, int64_t v);

// Single fields read from text[0..w-1] (w is cut at the text's length by the
// caller; a NUL ends the field). The value is set only when the status is 0.
int32_t read_i(const char *text, int32_t w, int32_t &value);           // Iw
int32_t read_f(const char *text, int32_t w, int32_t d, float &value);  // Fw.d
int32_t read_g16(const char *text, int32_t w, float &value);           // (BN,G16.7), w <= 16

// Free-format list read over a text. Items are separated by blanks or by a
// comma with optional blanks around it; an empty item (a leading comma, or
// two commas with only blanks between) leaves its variable unchanged. An
// integer item must not hold a decimal point. The read fails when an item
// cannot be converted or when the text ends before the item; characters
// after the last item read are never looked at.
class ListReader {
  public:
    ListReader(const char *text, int32_t len);

    int32_t real(float &v);                     // one real item: 0 or a read status
    int32_t integer(int32_t &v);                // one integer item: 0 or a read status
    int32_t status() const { return status_; }  // first failure, sticky; 0 while all good
    int32_t offset() const { return pos_; }     // characters consumed so far

  private:
    int32_t next_item(const char *&start, int32_t &n);
    template <class Convert>
    int32_t read_item(Convert convert);
    const char *text_;
    int32_t len_;
    int32_t pos_ = 0;
    int32_t status_ = 0;
    bool need_sep_ = false;  // a value was read; a comma after it is its separator
};

}  // namespace gonioctl
