#pragma once

#include <string>

namespace quarn {
namespace uri_host {

// The host (without IPv6 brackets) and scheme of a URI; false when the text
// does not split as a URI.
bool getHostAndScheme(const std::string& uri, std::string& host, std::string& scheme);

// The host of a URI, or empty when it does not split.
std::string getHost(const std::string& uri);

}  // namespace uri_host
}  // namespace quarn
