#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace quarn {

// A tiny name server on port 53 of a loopback address of its own
// (127.53.x.y), answering A and AAAA queries from a fixed table. Names not in
// the table get "no such name"; a name whose type is listed as silent gets no
// answer at all for that type. Binding port 53 needs root or the capability;
// available() tells.
class DnsStandIn {
 public:
  struct Records {
    std::vector<std::string> a;
    std::vector<std::string> aaaa;
    bool silentA = false;
    bool silentAaaa = false;
  };

  explicit DnsStandIn(std::map<std::string, Records> zone);
  ~DnsStandIn();
  DnsStandIn(const DnsStandIn&) = delete;
  DnsStandIn& operator=(const DnsStandIn&) = delete;

  bool available() const { return fd_ != -1; }
  const std::string& address() const { return address_; }
  // Names asked for, with their query type (1 A, 28 AAAA).
  std::multiset<std::pair<std::string, int>> queries() const;

 private:
  void serve();
  std::string answer(const unsigned char* query, size_t len);

  std::map<std::string, Records> zone_;
  std::string address_;
  int fd_;
  std::atomic<bool> stop_;
  mutable std::mutex queriesMutex_;
  std::multiset<std::pair<std::string, int>> queries_;
  std::thread thread_;
};

}  // namespace quarn
