#include "net/DNSCache.h"

#include <algorithm>
#include <tuple>

namespace quarn {

namespace {
const std::string EMPTY;
}  // namespace

DNSCache::CacheEntry::CacheEntry(const std::string& hostname, uint16_t port)
    : hostname_(hostname), port_(port) {}

bool DNSCache::CacheEntry::add(const std::string& addr) {
  if (contains(addr)) {
    return false;
  }
  addrEntries_.push_back(AddrEntry{addr, true});
  return true;
}

std::vector<DNSCache::AddrEntry>::iterator DNSCache::CacheEntry::find(const std::string& addr) {
  return std::find_if(addrEntries_.begin(), addrEntries_.end(),
                      [&](const AddrEntry& e) { return e.addr == addr; });
}

std::vector<DNSCache::AddrEntry>::const_iterator DNSCache::CacheEntry::find(
    const std::string& addr) const {
  return std::find_if(addrEntries_.begin(), addrEntries_.end(),
                      [&](const AddrEntry& e) { return e.addr == addr; });
}

bool DNSCache::CacheEntry::contains(const std::string& addr) const {
  return find(addr) != addrEntries_.end();
}

const std::string& DNSCache::CacheEntry::getGoodAddr() const {
  for (const auto& e : addrEntries_) {
    if (e.good) {
      return e.addr;
    }
  }
  return EMPTY;
}

void DNSCache::CacheEntry::markBad(const std::string& addr) {
  auto i = find(addr);
  if (i != addrEntries_.end()) {
    i->good = false;
  }
}

bool DNSCache::CacheEntry::operator<(const CacheEntry& other) const {
  return std::tie(hostname_, port_) < std::tie(other.hostname_, other.port_);
}

bool DNSCache::CacheEntry::operator==(const CacheEntry& other) const {
  return hostname_ == other.hostname_ && port_ == other.port_;
}

DNSCache::EntrySet::const_iterator DNSCache::findEntry(const std::string& hostname,
                                                       uint16_t port) const {
  return entries_.find(std::make_shared<CacheEntry>(hostname, port));
}

const std::string& DNSCache::find(const std::string& hostname, uint16_t port) const {
  auto i = findEntry(hostname, port);
  if (i == entries_.end()) {
    return EMPTY;
  }
  return (*i)->getGoodAddr();
}

void DNSCache::findAll(std::vector<std::string>& addrs, const std::string& hostname,
                       uint16_t port) const {
  auto i = findEntry(hostname, port);
  if (i == entries_.end()) {
    return;
  }
  for (const auto& entry : (*i)->getAddrEntries()) {
    if (entry.good) {
      addrs.push_back(entry.addr);
    }
  }
}

void DNSCache::put(const std::string& hostname, const std::string& ipaddr, uint16_t port) {
  auto i = findEntry(hostname, port);
  if (i != entries_.end()) {
    (*i)->add(ipaddr);
    return;
  }
  auto entry = std::make_shared<CacheEntry>(hostname, port);
  entry->add(ipaddr);
  entries_.insert(std::move(entry));
}

void DNSCache::markBad(const std::string& hostname, const std::string& ipaddr, uint16_t port) {
  auto i = findEntry(hostname, port);
  if (i != entries_.end()) {
    (*i)->markBad(ipaddr);
  }
}

void DNSCache::remove(const std::string& hostname, uint16_t port) {
  auto i = findEntry(hostname, port);
  if (i != entries_.end()) {
    entries_.erase(i);
  }
}

}  // namespace quarn
