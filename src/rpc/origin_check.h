#pragma once

#include <string>

namespace quarn {

class HttpHeader;
class Option;

namespace rpc {

// Whether an Origin header value names this machine: http or https to
// localhost, 127.0.0.1 or [::1], on any port.
bool isLoopbackOrigin(const std::string& origin);

// A web page the user opens must not drive a server that has no secret: such
// a request carries the page's Origin. Requests without Origin (scripts,
// command-line clients), servers with a secret and servers that allow every
// origin are not refused.
bool isRefusedCrossOrigin(const HttpHeader& header, const Option& option);

}  // namespace rpc
}  // namespace quarn
