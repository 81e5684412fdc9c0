// Request-header text helpers. A header block is lines "Name: value" joined by "\r\n".
#pragma once

#include <string>
#include <string_view>

namespace web {

// The text before the first `separator` in `line`; empty when there is none.
std::string HeaderName(std::string_view line, std::string_view separator, bool ignoreCase = false);

// The first byte upper-cased when it is an ASCII letter; the rest unchanged.
std::string CapitalizeFirst(std::string_view text);

// Capitalises the first letter of each "-"-separated piece of every header name, leaving
// values and the other letters as they are. Lines without ":" (empty ones too) are dropped;
// the result has no trailing "\r\n".
std::string NormalizeHeaderNames(std::string_view block);

}  // namespace web
