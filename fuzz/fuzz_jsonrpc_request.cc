// Runs arbitrary bytes through the JSON-RPC request path: parse, envelope checks, method
// dispatch and encoding, against an engine with a few downloads. Nothing may crash, and
// every call must be answered.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "config/Option.h"
#include "config/OptionParser.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/GroupId.h"
#include "engine/RequestGroup.h"
#include "engine/RequestGroupMan.h"
#include "engine/SelectEventPoll.h"
#include "foundation/GenericParser.h"
#include "foundation/JsonParser.h"
#include "foundation/ValueBaseStructParserStateMachine.h"
#include "rpc/json_rpc.h"
#include "storage/DownloadContext.h"
#include "storage/FileEntry.h"

namespace {

struct Fixture {
  std::shared_ptr<quarn::Option> option = std::make_shared<quarn::Option>();
  quarn::DownloadEngine engine{std::make_unique<quarn::SelectEventPoll>()};

  Fixture() {
    quarn::OptionParser::getInstance()->parseDefaultValues(*option);
    option->put(quarn::PREF_ENABLE_RPC, "true");
    // Methods that would touch the file system or stop the process are
    // answered with errors: no session file, no real dir.
    option->put(quarn::PREF_DIR, "/nonexistent-fuzz-dir");
    engine.setOption(option.get());
    engine.setRequestGroupMan(std::make_unique<quarn::RequestGroupMan>(
        std::vector<std::shared_ptr<quarn::RequestGroup>>{}, 5, option.get()));
  }

  void refill() {
    auto* rgman = engine.getRequestGroupMan();
    while (rgman->getReservedGroups().size() < 3) {
      auto op = std::make_shared<quarn::Option>();
      op->setParent(option);
      auto group = std::make_shared<quarn::RequestGroup>(quarn::GroupId::create(), op);
      auto dctx = std::make_shared<quarn::DownloadContext>(1024, 0, "");
      dctx->getFirstFileEntry()->setUris({"http://127.0.0.1/a"});
      group->setDownloadContext(dctx);
      rgman->addReservedGroup(group);
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Never destroyed: the gid registry, a static of its own, may go first.
  static Fixture& fixture = *new Fixture();
  fixture.refill();
  quarn::GenericParser<quarn::json::JsonParser, quarn::ValueBaseStructParserStateMachine> parser;
  ssize_t error = 0;
  auto value = parser.parseFinal(reinterpret_cast<const char*>(data), size, error);
  if (error < 0) {
    value.reset();
  }
  quarn::rpc::JsonRpcAnswer answer = quarn::rpc::processJsonRpcValue(value.get(), &fixture.engine);
  if (!answer.batch && answer.responses.size() != 1) {
    abort();
  }
  std::string text = answer.encode("cb", false);
  if (text.size() < 4 || text.compare(0, 3, "cb(") != 0) {
    abort();
  }
  return 0;
}
