#pragma once

#include <memory>
#include <string>
#include <vector>

#include "config/Option.h"
#include "config/OptionParser.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/DownloadStarter.h"
#include "engine/GroupId.h"
#include "engine/RequestGroup.h"
#include "storage/DownloadContext.h"

namespace quarn::test {

// A global option store with every default, and a few values fixed so that
// tests do not depend on the defaults.
inline std::shared_ptr<Option> makeGlobalOption() {
  auto op = std::make_shared<Option>();
  OptionParser::getInstance()->parseDefaultValues(*op);
  op->put(PREF_TIMEOUT, "60");
  op->put(PREF_SPLIT, "5");
  op->put(PREF_MAX_CONNECTION_PER_SERVER, "1");
  op->put(PREF_MAX_DOWNLOAD_LIMIT, "0");
  op->put(PREF_MAX_UPLOAD_LIMIT, "0");
  op->put(PREF_FILE_ALLOCATION, "prealloc");
  op->put(PREF_MAX_CONCURRENT_DOWNLOADS, "5");
  op->put(PREF_MAX_DOWNLOAD_RESULT, "1000");
  op->put(PREF_BT_MAX_OPEN_FILES, "100");
  op->put(PREF_PIECE_LENGTH, "1048576");
  op->put(PREF_DIR, ".");
  return op;
}

// A download of one file with the given path and URIs, options layered over
// the parent store.
inline std::shared_ptr<RequestGroup> makeGroup(const std::shared_ptr<Option>& parent,
                                               const std::string& path = "",
                                               const std::vector<std::string>& uris = {},
                                               int64_t length = 0) {
  auto op = std::make_shared<Option>();
  op->setParent(parent);
  auto group = std::make_shared<RequestGroup>(GroupId::create(), op);
  auto dctx = std::make_shared<DownloadContext>(1024, length, path);
  dctx->getFirstFileEntry()->setUris(uris);
  group->setDownloadContext(dctx);
  return group;
}

// The connection command a URI download gets from the stand-in starter: it
// does nothing, tests only count it.
class StubConnectionCommand : public Command {
 public:
  explicit StubConnectionCommand(cuid_t cuid) : Command(cuid) {}
  bool execute() override { return true; }
};

class StubUriStarter : public UriDownloadStarter {
 public:
  std::unique_ptr<Command> createConnectionCommand(cuid_t cuid, RequestGroup*,
                                                   DownloadEngine*) override {
    return std::make_unique<StubConnectionCommand>(cuid);
  }
};

// Engines in engine tests start URI downloads with stub commands, as the
// program's set-up would with the client's.
inline void installStubStarter(DownloadEngine& engine) {
  engine.setService<UriDownloadStarter>(std::make_unique<StubUriStarter>());
}

}  // namespace quarn::test
