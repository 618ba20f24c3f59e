#pragma once

#include <cstdint>
#include <string>

namespace quarn {

// A numeric socket address: address text, family and port.
struct Endpoint {
  std::string addr;
  int family;
  uint16_t port;
};

}  // namespace quarn
