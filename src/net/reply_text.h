// Reply framing: how every received packet body becomes fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace net {

// The body up to (not including) its first zero byte, with seventeen separators appended,
// split on "(＆)" at character boundaries. At least seventeen fields (sixteen when the body
// ends in a lone lead byte, which pairs with the first appended "("); fields the node did not
// write read as empty.
std::vector<std::string> SplitReply(const uint8_t* data, size_t length);

// The split alone: every separator ends one field (possibly empty); the rest after the last
// separator is a field only when it is not empty. A byte of 0x80 or above takes the byte after
// it along, so a separator is only seen on a character boundary; a lead byte that is the
// last byte ends the scan.
std::vector<std::string> SplitFields(std::string_view text);

}  // namespace net
