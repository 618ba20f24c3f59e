#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace quarn {

class AsyncNameResolver;
class DownloadEngine;
class Command;
class Option;

// Resolves one host name for one command without blocking the loop: up to two
// c-ares queries, IPv6 first and IPv4 second, registered with the engine so
// that the command wakes when an answer arrives.
class AsyncNameResolverMan {
 public:
  AsyncNameResolverMan();
  // Owners unregister (disableNameResolverCheck) before destruction.
  ~AsyncNameResolverMan();
  AsyncNameResolverMan(const AsyncNameResolverMan&) = delete;
  AsyncNameResolverMan& operator=(const AsyncNameResolverMan&) = delete;

  bool started() const { return numResolver_ > 0; }
  void startAsync(const std::string& hostname, DownloadEngine* e, Command* command);
  // Appends the addresses of every successful resolver, slot order.
  void getResolvedAddress(std::vector<std::string>& res) const;
  // 1 done, -1 failed, 0 still waiting.
  int getStatus() const;
  const std::string& getLastError() const;
  void setNameResolverCheck(DownloadEngine* e, Command* command);
  void setNameResolverCheck(size_t index, DownloadEngine* e, Command* command);
  void disableNameResolverCheck(DownloadEngine* e, Command* command);
  void disableNameResolverCheck(size_t index, DownloadEngine* e, Command* command);
  void reset(DownloadEngine* e, Command* command);

  void setIPv4(bool ipv4) { ipv4_ = ipv4; }
  void setIPv6(bool ipv6) { ipv6_ = ipv6; }

 private:
  void startAsyncFamily(const std::string& hostname, int family, DownloadEngine* e,
                        Command* command);

  std::array<std::shared_ptr<AsyncNameResolver>, 2> asyncNameResolver_;
  size_t numResolver_;
  int resolverCheck_;
  bool ipv4_;
  bool ipv6_;
};

// Switches off the families this host has no address of, and IPv6 when the
// option "disable-ipv6" is true.
void configureAsyncNameResolverMan(AsyncNameResolverMan* asyncNameResolverMan, Option* option);

}  // namespace quarn
