// Cookie strings: items "name=value" joined by "; ", carried by a caller from request to
// request as one text. An item ending in "=deleted" stands for a removed cookie.
#pragma once

#include <string>
#include <string_view>

namespace web {

// The text before the first "=", trimmed; an item without "=" is its own name.
std::string CookieName(std::string_view item);

// The pieces of `text` between separators, each kept only at its first (exact) occurrence.
std::string RemoveDuplicateItems(std::string_view text, std::string_view separator);

// New cookies replace old ones of the same name; old ones of other names follow the new ones;
// deleted items are left out. Both arguments are trimmed in place, and the result is also
// stored into `oldCookies`.
std::string MergeCookies(std::string& oldCookies, std::string& newCookies);

// The "name=value" pairs of the "Set-Cookie: " lines of a raw response-header block, joined by
// "; ". Attributes after the first ";" are dropped; a line named other than "Set-Cookie"
// exactly contributes nothing, and so does a cookie holding control bytes.
std::string ExtractSetCookies(std::string_view headerBlock);

}  // namespace web
