#include "storage/ServerStatMan.h"

#include <array>
#include <chrono>
#include <cstring>
#include <vector>

#include "foundation/BufferedFile.h"
#include "foundation/File.h"
#include "foundation/Logger.h"
#include "foundation/fmt.h"
#include "foundation/util_number.h"
#include "foundation/util_string.h"

namespace quarn {

std::shared_ptr<ServerStat> ServerStatMan::find(const std::string& hostname,
                                                const std::string& protocol) const {
  auto key = std::make_shared<ServerStat>(hostname, protocol);
  auto it = serverStats_.find(key);
  return it == serverStats_.end() ? nullptr : *it;
}

bool ServerStatMan::add(const std::shared_ptr<ServerStat>& serverStat) {
  return serverStats_.insert(serverStat).second;
}

bool ServerStatMan::save(const std::string& filename) const {
  std::string tempfile = filename + "__temp";
  {
    BufferedFile fp(tempfile.c_str(), IOFile::WRITE);
    if (!fp) {
      QLOG_ERROR(fmt("Failed to open ServerStat file %s for write.", filename.c_str()));
      return false;
    }
    for (const auto& stat : serverStats_) {
      std::string line = stat->toString();
      line += "\n";
      if (fp.write(line.data(), line.size()) != line.size()) {
        QLOG_ERROR(fmt("Failed to write ServerStat to %s.", filename.c_str()));
        fp.close();
        return false;
      }
    }
    if (fp.close() == EOF) {
      QLOG_ERROR(fmt("Failed to write ServerStat to %s.", filename.c_str()));
      return false;
    }
  }
  if (File(tempfile).renameTo(filename)) {
    QLOG_NOTICE(fmt("ServerStat file %s saved successfully.", filename.c_str()));
    return true;
  }
  QLOG_ERROR(fmt("Failed to write ServerStat to %s.", filename.c_str()));
  return false;
}

namespace {

enum Field {
  S_COUNTER,
  S_DL_SPEED,
  S_HOST,
  S_LAST_UPDATED,
  S_MC_AVG_SPEED,
  S_PROTOCOL,
  S_SC_AVG_SPEED,
  S_STATUS,
  MAX_FIELD
};

constexpr const char* FIELD_NAMES[] = {"counter",      "dl_speed", "host",         "last_updated",
                                       "mc_avg_speed", "protocol", "sc_avg_speed", "status"};

// The latest and earliest moments a record may carry: a stamp outside them
// cannot be held as a time and marks the line as damaged.
constexpr int64_t MAX_EPOCH_SECONDS = 253402300799;  // 9999-12-31 23:59:59 UTC

bool parseOptionalUInt(int32_t& out, const std::string& text) {
  if (text.empty()) {
    return true;
  }
  uint32_t value;
  if (!util::parseUIntNoThrow(value, text)) {
    return false;
  }
  out = static_cast<int32_t>(value);
  return true;
}

// The record described by one line, or null when the line is damaged.
std::shared_ptr<ServerStat> parseLine(const std::string& line) {
  std::array<std::string, MAX_FIELD> fields;
  std::vector<std::string> items;
  util::split(line.begin(), line.end(), std::back_inserter(items), ',');
  for (const auto& item : items) {
    auto [name, value] = util::divide(item.begin(), item.end(), '=');
    std::string key(name.first, name.second);
    for (int i = 0; i < MAX_FIELD; ++i) {
      if (key == FIELD_NAMES[i]) {
        fields[i].assign(value.first, value.second);
        break;
      }
    }
  }
  if (fields[S_HOST].empty() || fields[S_PROTOCOL].empty()) {
    return nullptr;
  }
  auto stat = std::make_shared<ServerStat>(fields[S_HOST], fields[S_PROTOCOL]);
  uint32_t dlSpeed;
  if (!util::parseUIntNoThrow(dlSpeed, fields[S_DL_SPEED])) {
    return nullptr;
  }
  stat->setDownloadSpeed(static_cast<int32_t>(dlSpeed));
  int32_t value = 0;
  if (!parseOptionalUInt(value, fields[S_SC_AVG_SPEED])) {
    return nullptr;
  }
  stat->setSingleConnectionAvgSpeed(value);
  value = 0;
  if (!parseOptionalUInt(value, fields[S_MC_AVG_SPEED])) {
    return nullptr;
  }
  stat->setMultiConnectionAvgSpeed(value);
  value = 0;
  if (!parseOptionalUInt(value, fields[S_COUNTER])) {
    return nullptr;
  }
  stat->setCounter(value);
  // Seconds since the epoch pass 2^31 in 2038, so the stamp is read as a
  // 64-bit number.
  int64_t lastUpdated;
  if (!util::parseLLIntNoThrow(lastUpdated, fields[S_LAST_UPDATED]) ||
      lastUpdated > MAX_EPOCH_SECONDS || lastUpdated < -MAX_EPOCH_SECONDS) {
    return nullptr;
  }
  stat->setLastUpdated(Time(static_cast<time_t>(lastUpdated)));
  stat->setStatus(fields[S_STATUS]);
  return stat;
}

}  // namespace

bool ServerStatMan::load(const std::string& filename) {
  BufferedFile fp(filename.c_str(), IOFile::READ);
  if (!fp) {
    QLOG_ERROR(fmt("Failed to open ServerStat file %s for read.", filename.c_str()));
    return false;
  }
  while (true) {
    std::string line = fp.getLine();
    if (line.empty()) {
      if (fp.eof()) {
        break;
      }
      if (!fp) {
        QLOG_ERROR(fmt("Failed to read ServerStat from %s.", filename.c_str()));
        return false;
      }
      continue;
    }
    line = util::strip(line);
    if (line.empty()) {
      continue;
    }
    if (auto stat = parseLine(line)) {
      add(stat);
    }
  }
  QLOG_NOTICE(fmt("ServerStat file %s loaded successfully.", filename.c_str()));
  return true;
}

void ServerStatMan::removeStaleServerStat(time_t timeout) {
  const auto limit = std::chrono::seconds(timeout);
  std::erase_if(serverStats_, [&limit](const std::shared_ptr<ServerStat>& stat) {
    return stat->getLastUpdated().difference() >= limit;
  });
}

}  // namespace quarn
