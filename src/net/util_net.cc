#include "net/util_net.h"

#include <netdb.h>

#include <cstdlib>

#include "foundation/DlAbortEx.h"
#include "foundation/fmt.h"

namespace quarn::util {

Endpoint getNumericNameInfo(const sockaddr* sockaddr, socklen_t len) {
  char host[NI_MAXHOST];
  char service[NI_MAXSERV];
  int s = getnameinfo(sockaddr, len, host, NI_MAXHOST, service, NI_MAXSERV,
                      NI_NUMERICHOST | NI_NUMERICSERV);
  if (s != 0) {
    throw DL_ABORT_EX(fmt("Failed to get hostname and port. cause: %s", gai_strerror(s)));
  }
  return Endpoint{host, sockaddr->sa_family, static_cast<uint16_t>(strtoul(service, nullptr, 10))};
}

TLSVersion toTLSVersion(const std::string& ver) {
  if (ver == "TLSv1.1") {
    return TLS_PROTO_TLS11;
  }
  if (ver == "TLSv1.3") {
    return TLS_PROTO_TLS13;
  }
  return TLS_PROTO_TLS12;
}

}  // namespace quarn::util
