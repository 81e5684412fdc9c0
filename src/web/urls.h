// URL pieces and the marker cut that the web code and the category browsing share.
//
// Pure text routines over GBK; nothing is percent-decoded or validated. Positions are 1-based.
#pragma once

#include <string>
#include <string_view>

namespace web {

// The host of `url`, always lower case: everything between the scheme and the next "/", so a
// query that follows the host without a slash stays part of it. A URL without "http://" is
// read as http. Unless keepPort, the ":port" part is cut off.
std::string UrlHost(std::string_view url, bool keepPort = false);

// The explicit port after the host (its leading digits, full-width digits included, 0 when
// there are none); without one, 443 for an https URL and 80 otherwise.
int UrlPort(std::string_view url);

// The object path from the first "/" after the host to the end, case, query and fragment
// kept; "/" when the host has no slash after it.
std::string UrlPath(std::string_view url);

// The text between the first `left` found from `start` and the first `right` after it; empty
// when either is missing. "#引号" in a marker stands for a double quote.
std::string TextBetween(std::string_view text, std::string_view left, std::string_view right, int start = 1,
                        bool ignoreCase = false);

}  // namespace web
