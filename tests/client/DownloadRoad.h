#pragma once

#include <memory>
#include <string>
#include <vector>

#include "client/AuthConfigFactory.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadContext.h"
#include "engine/DownloadEngine.h"
#include "engine/EpollEventPoll.h"
#include "engine/FileEntry.h"
#include "engine/FillRequestGroupCommand.h"
#include "engine/GroupId.h"
#include "engine/RequestGroup.h"
#include "engine/RequestGroupMan.h"
#include "foundation/error_code.h"

namespace quarn {

// Runs one download per URI through the real engine loop, as many at once as
// "max-concurrent-downloads" allows, until all have ended; gives their results
// and fills `paths` with their output files.
inline std::vector<error_code::Value> runDownloads(const std::shared_ptr<Option>& option,
                                                   const std::vector<std::string>& uris,
                                                   std::vector<std::string>& paths) {
  DownloadEngine engine(std::make_unique<EpollEventPoll>());
  engine.setOption(option.get());
  engine.setAuthConfigFactory(std::make_unique<AuthConfigFactory>());
  std::vector<std::shared_ptr<RequestGroup>> groups;
  for (const auto& uri : uris) {
    auto op = std::make_shared<Option>();
    op->setParent(option);
    auto group = std::make_shared<RequestGroup>(GroupId::create(), op);
    auto ctx = std::make_shared<DownloadContext>(option->getAsInt(PREF_PIECE_LENGTH), 0, "");
    ctx->getFirstFileEntry()->setUris({uri});
    ctx->getFirstFileEntry()->setMaxConnectionPerServer(
        option->getAsInt(PREF_MAX_CONNECTION_PER_SERVER));
    group->setDownloadContext(ctx);
    groups.push_back(group);
  }
  engine.setRequestGroupMan(std::make_unique<RequestGroupMan>(groups, 1, option.get()));
  auto* rgman = engine.getRequestGroupMan();
  rgman->requestQueueCheck();
  engine.addRoutineCommand(std::make_unique<FillRequestGroupCommand>(engine.newCUID(), &engine));
  engine.run();
  rgman->removeStoppedGroup(&engine);
  std::vector<error_code::Value> results;
  paths.clear();
  for (const auto& g : groups) {
    results.push_back(g->downloadResult().first);
    paths.push_back(g->getDownloadContext()->getFirstFileEntry()->getPath());
  }
  return results;
}

}  // namespace quarn
