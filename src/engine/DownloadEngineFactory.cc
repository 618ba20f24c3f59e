#include "engine/DownloadEngineFactory.h"

#include <chrono>

#include "config/Option.h"
#include "config/prefs.h"
#include "engine/AutoSaveCommand.h"
#include "engine/CheckIntegrityDispatcherCommand.h"
#include "engine/CheckIntegrityEntry.h"
#include "engine/DownloadEngine.h"
#include "engine/EpollEventPoll.h"
#include "engine/EvictSocketPoolCommand.h"
#include "engine/FileAllocationDispatcherCommand.h"
#include "engine/FileAllocationEntry.h"
#include "engine/FillRequestGroupCommand.h"
#include "engine/HaveEraseCommand.h"
#include "engine/PollEventPoll.h"
#include "engine/RequestGroup.h"
#include "engine/RequestGroupMan.h"
#include "engine/SaveSessionCommand.h"
#include "engine/SelectEventPoll.h"
#include "engine/TimedHaltCommand.h"
#include "engine/WatchProcessCommand.h"
#include "foundation/DlAbortEx.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "storage/SequentialPicker.h"

namespace quarn {

namespace {

std::unique_ptr<EventPoll> createEventPoll(const std::string& method) {
  if (method == V_EPOLL) {
    auto ep = std::make_unique<EpollEventPoll>();
    if (!ep->good()) {
      throw DL_ABORT_EX("Initializing EpollEventPoll failed. Try --event-poll=select");
    }
    return ep;
  }
  if (method == V_POLL) {
    return std::make_unique<PollEventPoll>();
  }
  if (method == V_SELECT) {
    return std::make_unique<SelectEventPoll>();
  }
  throw DL_ABORT_EX(fmt("Unknown event poll: %s", method.c_str()));
}

}  // namespace

std::unique_ptr<DownloadEngine> DownloadEngineFactory::newDownloadEngine(
    Option* op, std::vector<std::shared_ptr<RequestGroup>> requestGroups) {
  int maxConcurrent = op->getAsInt(PREF_MAX_CONCURRENT_DOWNLOADS);
  auto e = std::make_unique<DownloadEngine>(createEventPoll(op->get(PREF_EVENT_POLL)));
  e->setOption(op);
  {
    auto rgman = std::make_unique<RequestGroupMan>(std::move(requestGroups), maxConcurrent, op);
    rgman->initWrDiskCache();
    e->setRequestGroupMan(std::move(rgman));
  }
  e->setFileAllocationMan(std::make_unique<SequentialPicker<FileAllocationEntry>>());
  e->setCheckIntegrityMan(std::make_unique<SequentialPicker<CheckIntegrityEntry>>());
  e->addRoutineCommand(std::make_unique<FillRequestGroupCommand>(e->newCUID(), e.get()));
  e->addRoutineCommand(std::make_unique<FileAllocationDispatcherCommand>(
      e->newCUID(), e->getFileAllocationMan(), e.get()));
  e->addRoutineCommand(std::make_unique<CheckIntegrityDispatcherCommand>(
      e->newCUID(), e->getCheckIntegrityMan(), e.get()));
  e->addRoutineCommand(
      std::make_unique<EvictSocketPoolCommand>(e->newCUID(), e.get(), std::chrono::seconds(30)));
  if (op->getAsInt(PREF_AUTO_SAVE_INTERVAL) > 0) {
    e->addRoutineCommand(std::make_unique<AutoSaveCommand>(
        e->newCUID(), e.get(), std::chrono::seconds(op->getAsInt(PREF_AUTO_SAVE_INTERVAL))));
  }
  if (op->getAsInt(PREF_SAVE_SESSION_INTERVAL) > 0) {
    e->addRoutineCommand(std::make_unique<SaveSessionCommand>(
        e->newCUID(), e.get(), std::chrono::seconds(op->getAsInt(PREF_SAVE_SESSION_INTERVAL))));
  }
  e->addRoutineCommand(
      std::make_unique<HaveEraseCommand>(e->newCUID(), e.get(), std::chrono::seconds(10)));
  if (op->getAsInt(PREF_STOP) > 0) {
    e->addRoutineCommand(std::make_unique<TimedHaltCommand>(
        e->newCUID(), e.get(), std::chrono::seconds(op->getAsInt(PREF_STOP)), false));
  }
  if (op->defined(PREF_STOP_WITH_PROCESS)) {
    e->addRoutineCommand(std::make_unique<WatchProcessCommand>(
        e->newCUID(), e.get(), op->getAsLLInt(PREF_STOP_WITH_PROCESS), false));
  }
  if (op->getAsBool(PREF_ENABLE_RPC)) {
    if (op->blank(PREF_RPC_SECRET) && op->blank(PREF_RPC_USER)) {
      QLOG_WARN(
          "Neither --rpc-secret nor a combination of --rpc-user and --rpc-passwd is set. This is "
          "insecure. It is extremely recommended to specify --rpc-secret with the adequate "
          "secrecy or now deprecated --rpc-user and --rpc-passwd.");
    }
    if (op->getAsBool(PREF_RPC_SECURE)) {
      QLOG_NOTICE("RPC transport will be encrypted.");
    }
  }
  return e;
}

}  // namespace quarn
