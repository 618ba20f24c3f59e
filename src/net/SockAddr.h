#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

namespace quarn {

union sockaddr_union {
  sockaddr sa;
  sockaddr_storage storage;
  sockaddr_in6 in6;
  sockaddr_in in;
};

struct SockAddr {
  sockaddr_union su;
  socklen_t suLength;
};

}  // namespace quarn
