#pragma once

#include <sys/socket.h>

#include <string>
#include <vector>

namespace quarn {

// One blocking getaddrinfo lookup, giving numeric address texts.
class NameResolver {
 public:
  NameResolver();

  // Appends the addresses in getaddrinfo's order; throws DlAbortEx with
  // error code 19 when the lookup fails, leaving `resolvedAddresses` as it was.
  void resolve(std::vector<std::string>& resolvedAddresses, const std::string& hostname);

  void setSocktype(int socktype) { socktype_ = socktype; }
  void setFamily(int family) { family_ = family; }

 private:
  int socktype_;
  int family_;
};

}  // namespace quarn
