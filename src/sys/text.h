// Text primitives over GBK (code page 936) byte strings.
//
// Every text inside the program is a std::string of GBK bytes. A byte of 0x81..0xFE starts a
// double-byte character and takes the byte after it along; a lead byte that is the last byte
// of a text stands alone. Positions are 1-based byte positions; a search that finds nothing
// returns -1. No search ever matches inside a double-byte character, so a trail byte equal to
// '\\' (0x5C) or '|' is never mistaken for that ASCII character.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sys {

// True for a GBK lead byte.
constexpr bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// Length in bytes of the character starting at byte index i (0-based): 1 or 2.
size_t CharLength(std::string_view text, size_t i);

// First occurrence of `what` starting at or after 1-based `start` (a start below 1 searches
// from the beginning). Matches begin and end on character boundaries. An empty `what` is
// never found. ignoreCase folds ASCII letters only.
int Find(std::string_view text, std::string_view what, int start = 1, bool ignoreCase = false);

// Last occurrence of `what`, on character boundaries; -1 when absent.
int FindLast(std::string_view text, std::string_view what, bool ignoreCase = false);

bool Contains(std::string_view text, std::string_view what, bool ignoreCase = false);
bool StartsWith(std::string_view text, std::string_view prefix);
bool EndsWith(std::string_view text, std::string_view suffix);

// ASCII letters change; double-byte characters are left intact.
std::string ToLowerAscii(std::string_view text);
std::string ToUpperAscii(std::string_view text);

// Removes ASCII spaces and the full-width space (A1 A1) at both ends, nothing else.
std::string Trim(std::string_view text);

// Splits at `separator`. Empty pieces between adjacent separators are kept; the empty piece
// after a trailing separator is dropped; an empty text gives no piece. An empty separator
// gives the whole text as one piece.
std::vector<std::string> Split(std::string_view text, std::string_view separator);

// Joins pieces with `separator` between them, nothing trailing.
std::string Join(const std::vector<std::string>& pieces, std::string_view separator);

// Replaces every occurrence of `from` (on character boundaries, left to right, not
// overlapping) by `to`. An empty `from` leaves the text as it is.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

// An optional sign and the leading decimal digits; 0 when there are none, so " 3" is 0 (a
// text that may carry blanks is trimmed by its reader first). With fullWidthDigits, the full-width digits A3
// B0..A3 B9 count as digits too. Saturates at the 32-bit range instead of wrapping.
int ToInt(std::string_view text, bool fullWidthDigits = false);

std::string FromInt(long long value);

// Rounds half away from zero to 2 decimals and writes it as printf's "%.13g" does. The
// rounding works on the decimal digits a person sees, so 1.005 becomes 1.01.
std::string FormatRounded2(double value);

// GBK <-> UTF-16. Bytes that are not valid GBK become U+FFFD; characters with no GBK form
// become '?'.
std::u16string GbkToUtf16(std::string_view gbk);
std::string Utf16ToGbk(std::u16string_view text);

// GBK <-> UTF-8, for logs and files of the node and the tests.
std::string GbkToUtf8(std::string_view gbk);
std::string Utf8ToGbk(std::string_view utf8);

}  // namespace sys
