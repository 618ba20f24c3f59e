#pragma once

#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "client/auth/AuthConfigFactory.h"
#include "client/client_services.h"
#include "config/Option.h"
#include "config/OptionParser.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/EpollEventPoll.h"
#include "engine/FillRequestGroupCommand.h"
#include "engine/GroupId.h"
#include "engine/RequestGroup.h"
#include "engine/RequestGroupMan.h"
#include "foundation/error_code.h"
#include "storage/DownloadContext.h"
#include "storage/FileEntry.h"

namespace quarn {

// Default options for a hand-built engine writing into `dir`: short time-outs,
// no wait between tries, and no file allocation (the hand-built engine has no
// allocation dispatcher; the real program's allocation road is covered end to
// end).
inline std::shared_ptr<Option> roadOption(const std::string& dir, const char* maxTries) {
  auto option = std::make_shared<Option>();
  OptionParser::getInstance()->parseDefaultValues(*option);
  option->put(PREF_DIR, dir);
  option->put(PREF_TIMEOUT, "10");
  option->put(PREF_CONNECT_TIMEOUT, "10");
  option->put(PREF_MAX_TRIES, maxTries);
  option->put(PREF_RETRY_WAIT, "0");
  option->put(PREF_FILE_ALLOCATION, "none");
  return option;
}

// `n` bytes of a fixed pseudo-random sequence.
inline std::string randomBody(size_t n) {
  std::mt19937 rng(20261210);
  std::string s(n, '\0');
  for (auto& c : s) {
    c = static_cast<char>(rng() & 0xff);
  }
  return s;
}

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs one download per URI through the real engine loop, as many at once as
// "max-concurrent-downloads" allows, until all have ended; gives their results
// and fills `paths` with their output files. `prepare` may change each
// download's context before it starts; `inspect` sees the download manager
// once all have ended.
inline std::vector<error_code::Value> runDownloads(
    const std::shared_ptr<Option>& option, const std::vector<std::string>& uris,
    std::vector<std::string>& paths, const std::function<void(DownloadContext&)>& prepare = nullptr,
    const std::function<void(RequestGroupMan&)>& inspect = nullptr) {
  DownloadEngine engine(std::make_unique<EpollEventPoll>());
  engine.setOption(option.get());
  engine.setService(std::make_unique<AuthConfigFactory>());
  installClient(engine);
  std::vector<std::shared_ptr<RequestGroup>> groups;
  for (const auto& uri : uris) {
    auto op = std::make_shared<Option>();
    op->setParent(option);
    auto group = std::make_shared<RequestGroup>(GroupId::create(), op);
    auto ctx = std::make_shared<DownloadContext>(option->getAsInt(PREF_PIECE_LENGTH), 0, "");
    ctx->getFirstFileEntry()->setUris({uri});
    ctx->getFirstFileEntry()->setMaxConnectionPerServer(
        option->getAsInt(PREF_MAX_CONNECTION_PER_SERVER));
    if (prepare) {
      prepare(*ctx);
    }
    group->setDownloadContext(ctx);
    groups.push_back(group);
  }
  engine.setRequestGroupMan(std::make_unique<RequestGroupMan>(groups, 1, option.get()));
  auto* rgman = engine.getRequestGroupMan();
  rgman->requestQueueCheck();
  engine.addRoutineCommand(std::make_unique<FillRequestGroupCommand>(engine.newCUID(), &engine));
  engine.run();
  rgman->removeStoppedGroup(&engine);
  if (inspect) {
    inspect(*rgman);
  }
  std::vector<error_code::Value> results;
  paths.clear();
  for (const auto& g : groups) {
    results.push_back(g->downloadResult().first);
    paths.push_back(g->getDownloadContext()->getFirstFileEntry()->getPath());
  }
  return results;
}

}  // namespace quarn
