#pragma once
// Cutting host, port and path out of an address text, without a parsed URL
// structure. An address without a scheme is taken as "http://".

#include <string_view>

#include "text/text.h"

namespace morvane {

// The host in small letters, with ":" and the port when includePort is true
// and the address has one.
Text UrlHost(std::string_view url, bool includePort = false);
// The explicit port, else 443 for an "https" address and 80 for any other.
int UrlPort(std::string_view url);
// From the first "/" after the host to the end (letter case kept), or "/".
Text UrlPath(std::string_view url);

}  // namespace morvane
