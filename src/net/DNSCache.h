#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace quarn {

// Addresses resolved per host and port for the whole run. An address that
// failed to connect is marked bad and never becomes good again; remove() and a
// later put() start the host over.
class DNSCache {
 public:
  struct AddrEntry {
    std::string addr;
    bool good;
  };

  class CacheEntry {
   public:
    CacheEntry(const std::string& hostname, uint16_t port);

    // False when the address is already present (its good flag is kept).
    bool add(const std::string& addr);
    std::vector<AddrEntry>::iterator find(const std::string& addr);
    std::vector<AddrEntry>::const_iterator find(const std::string& addr) const;
    bool contains(const std::string& addr) const;
    // The first good address in insertion order, or empty.
    const std::string& getGoodAddr() const;
    void markBad(const std::string& addr);

    const std::string& getHostname() const { return hostname_; }
    uint16_t getPort() const { return port_; }
    const std::vector<AddrEntry>& getAddrEntries() const { return addrEntries_; }

    bool operator<(const CacheEntry& other) const;
    bool operator==(const CacheEntry& other) const;

   private:
    std::string hostname_;
    uint16_t port_;
    std::vector<AddrEntry> addrEntries_;
  };

  const std::string& find(const std::string& hostname, uint16_t port) const;
  // Appends every good address of (hostname, port) in insertion order.
  void findAll(std::vector<std::string>& addrs, const std::string& hostname, uint16_t port) const;
  void put(const std::string& hostname, const std::string& ipaddr, uint16_t port);
  void markBad(const std::string& hostname, const std::string& ipaddr, uint16_t port);
  void remove(const std::string& hostname, uint16_t port);

 private:
  struct EntryLess {
    bool operator()(const std::shared_ptr<CacheEntry>& a,
                    const std::shared_ptr<CacheEntry>& b) const {
      return *a < *b;
    }
  };
  using EntrySet = std::set<std::shared_ptr<CacheEntry>, EntryLess>;

  EntrySet::const_iterator findEntry(const std::string& hostname, uint16_t port) const;

  EntrySet entries_;
};

}  // namespace quarn
