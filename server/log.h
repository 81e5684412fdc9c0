// One line per event on stderr, with a UTC time stamp. Messages are UTF-8; GBK texts from the
// wire are converted by the caller (LogText) so a terminal shows them readably.
#pragma once

#include <string>
#include <string_view>

namespace node {

void Log(std::string_view message);

// A GBK text from the wire, made printable: UTF-8, control bytes escaped, cut to `limit` bytes.
std::string LogText(std::string_view gbk, size_t limit = 80);

// Turns per-request lines on or off (off by default: a busy node would drown its log).
void SetVerbose(bool on);
bool Verbose();

}  // namespace node
