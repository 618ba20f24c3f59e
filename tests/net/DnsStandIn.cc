#include "DnsStandIn.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace quarn {

namespace {

constexpr int TYPE_A = 1;
constexpr int TYPE_AAAA = 28;
constexpr size_t HEADER_LEN = 12;

void putU16(std::string& out, int v) {
  out.push_back(static_cast<char>((v >> 8) & 0xff));
  out.push_back(static_cast<char>(v & 0xff));
}

}  // namespace

DnsStandIn::DnsStandIn(std::map<std::string, Records> zone)
    : zone_(std::move(zone)), fd_(-1), stop_(false) {
  fd_ = socket(AF_INET, SOCK_DGRAM, 0);
  // A loopback address per process, so that parallel tests never meet.
  unsigned pid = static_cast<unsigned>(getpid());
  for (unsigned attempt = 0; attempt < 16; ++attempt) {
    unsigned n = pid + attempt * 7919;
    address_ = "127.53." + std::to_string(n / 250 % 250 + 1) + "." + std::to_string(n % 250 + 1);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(53);
    inet_pton(AF_INET, address_.c_str(), &addr.sin_addr);
    if (bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0) {
      thread_ = std::thread([this] { serve(); });
      return;
    }
  }
  close(fd_);
  fd_ = -1;
}

DnsStandIn::~DnsStandIn() {
  stop_ = true;
  if (thread_.joinable()) {
    thread_.join();
  }
  if (fd_ != -1) {
    close(fd_);
  }
}

std::multiset<std::pair<std::string, int>> DnsStandIn::queries() const {
  std::lock_guard<std::mutex> lock(queriesMutex_);
  return queries_;
}

void DnsStandIn::serve() {
  while (!stop_) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) {
      continue;
    }
    unsigned char buf[512];
    sockaddr_storage from{};
    socklen_t fromLen = sizeof(from);
    ssize_t n = recvfrom(fd_, buf, sizeof(buf), 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
    if (n <= 0) {
      continue;
    }
    std::string reply = answer(buf, n);
    if (!reply.empty()) {
      sendto(fd_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), fromLen);
    }
  }
}

// The reply to one query, or empty to stay silent.
std::string DnsStandIn::answer(const unsigned char* query, size_t len) {
  if (len < HEADER_LEN + 5) {
    return "";
  }
  std::string name;
  size_t pos = HEADER_LEN;
  while (pos < len && query[pos] != 0) {
    size_t labelLen = query[pos++];
    if (pos + labelLen > len) {
      return "";
    }
    if (!name.empty()) {
      name += '.';
    }
    name.append(reinterpret_cast<const char*>(query + pos), labelLen);
    pos += labelLen;
  }
  pos += 1;
  if (pos + 4 > len) {
    return "";
  }
  int qtype = query[pos] << 8 | query[pos + 1];
  size_t questionEnd = pos + 4;
  {
    std::lock_guard<std::mutex> lock(queriesMutex_);
    queries_.emplace(name, qtype);
  }

  auto found = zone_.find(name);
  const std::vector<std::string>* addrs = nullptr;
  if (found != zone_.end()) {
    const Records& r = found->second;
    if ((qtype == TYPE_A && r.silentA) || (qtype == TYPE_AAAA && r.silentAaaa)) {
      return "";
    }
    addrs = qtype == TYPE_A ? &r.a : qtype == TYPE_AAAA ? &r.aaaa : nullptr;
  }
  int rcode = found == zone_.end() ? 3 : 0;
  size_t count = addrs ? addrs->size() : 0;

  std::string reply(reinterpret_cast<const char*>(query), 2);  // id
  putU16(reply, 0x8180 | rcode);
  putU16(reply, 1);
  putU16(reply, static_cast<int>(count));
  putU16(reply, 0);
  putU16(reply, 0);
  reply.append(reinterpret_cast<const char*>(query + HEADER_LEN), questionEnd - HEADER_LEN);
  for (size_t i = 0; i < count; ++i) {
    unsigned char bin[16];
    int family = qtype == TYPE_A ? AF_INET : AF_INET6;
    inet_pton(family, (*addrs)[i].c_str(), bin);
    putU16(reply, 0xc00c);  // the question's name
    putU16(reply, qtype);
    putU16(reply, 1);  // IN
    putU16(reply, 0);
    putU16(reply, 60);  // TTL
    int rdlen = qtype == TYPE_A ? 4 : 16;
    putU16(reply, rdlen);
    reply.append(reinterpret_cast<char*>(bin), rdlen);
  }
  return reply;
}

}  // namespace quarn
