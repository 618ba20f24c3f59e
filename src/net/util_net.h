#pragma once

#include <sys/socket.h>

#include <string>

#include "net/Endpoint.h"
#include "net/TLSContext.h"

namespace quarn::util {

// The numeric address text, family and port of a socket address; throws
// DlAbortEx when getnameinfo fails.
Endpoint getNumericNameInfo(const sockaddr* sockaddr, socklen_t len);

// "TLSv1.1" and "TLSv1.3" name their versions; every other text means TLS 1.2.
TLSVersion toTLSVersion(const std::string& ver);

}  // namespace quarn::util
