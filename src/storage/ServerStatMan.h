#pragma once

#include <memory>
#include <set>
#include <string>

#include "storage/ServerStat.h"

namespace quarn {

// The server statistics of the run, one record per host and protocol, with
// the file they are loaded from and saved to.
class ServerStatMan {
 public:
  std::shared_ptr<ServerStat> find(const std::string& hostname, const std::string& protocol) const;
  // False, and nothing changes, when a record for the same host and protocol
  // exists.
  bool add(const std::shared_ptr<ServerStat>& serverStat);
  bool save(const std::string& filename) const;
  // Adds the records of the file; damaged lines are skipped.
  bool load(const std::string& filename);
  // Drops every record last updated the given number of seconds ago or
  // earlier.
  void removeStaleServerStat(time_t timeout);

  size_t size() const { return serverStats_.size(); }

 private:
  struct Less {
    bool operator()(const std::shared_ptr<ServerStat>& a,
                    const std::shared_ptr<ServerStat>& b) const {
      return *a < *b;
    }
  };
  std::set<std::shared_ptr<ServerStat>, Less> serverStats_;
};

}  // namespace quarn
