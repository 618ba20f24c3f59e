#include "engine/DownloadEngine.h"

#include "engine/global_halt.h"
#include "foundation/LogMacros.h"
#include "foundation/i18n.h"
#include "foundation/util_random.h"
#include "foundation/wallclock.h"

#if __has_include("engine/RequestGroupMan.h")
#include "engine/RequestGroupMan.h"
#define QUARN_HAVE_REQUEST_GROUP_MAN 1
#endif

namespace quarn {

namespace {

std::string makeSessionId() {
  unsigned char key[20];
  util::generateRandomKey(key);
  return std::string(reinterpret_cast<const char*>(key), sizeof(key));
}

// Runs the commands present at the start of the pass whose status is at least
// the filter; the others go to the back untouched. Commands added during the
// pass wait for the next one.
void executeCommand(std::deque<std::unique_ptr<Command>>& commands, Command::STATUS statusFilter) {
  size_t max = commands.size();
  for (size_t i = 0; i < max; ++i) {
    std::unique_ptr<Command> com = std::move(commands.front());
    commands.pop_front();
    if (com->getStatus() < statusFilter) {
      com->clearIOEvents();
      commands.push_back(std::move(com));
      continue;
    }
    com->transitStatus();
    if (com->execute()) {
      com.reset();
    } else {
      // The command has handed itself back to the engine or to another owner.
      com.release()->clearIOEvents();
    }
  }
}

}  // namespace

DownloadEngine::DownloadEngine(std::unique_ptr<EventPoll> eventPoll)
    : sessionId_(makeSessionId()),
      eventPoll_(std::move(eventPoll)),
      haltRequested_(0),
      noWait_(true),
      refreshInterval_(DEFAULT_REFRESH_INTERVAL),
      lastRefresh_(Timer::zero()),
      requestGroupMan_(nullptr, nullptr),
      option_(nullptr) {}

DownloadEngine::~DownloadEngine() = default;

int DownloadEngine::run(bool oneshot) {
  while (!commands_.empty() || !routineCommands_.empty()) {
    // Also with only routine commands the loop sleeps in the poll unless
    // somebody asked for an immediate turn, so that an idle run never spins.
    waitData();
    noWait_ = false;
    global::wallclock().reset();
    calculateStatistics();
    Command::STATUS statusFilter = Command::STATUS_ACTIVE;
    if (lastRefresh_.difference(global::wallclock()) + std::chrono::milliseconds(10) >=
        refreshInterval_) {
      refreshInterval_ = DEFAULT_REFRESH_INTERVAL;
      lastRefresh_ = global::wallclock();
      statusFilter = static_cast<Command::STATUS>(0);
    }
    executeCommand(commands_, statusFilter);
    executeCommand(routineCommands_, static_cast<Command::STATUS>(0));
    afterEachIteration();
    if (!noWait_ && oneshot) {
      return 1;
    }
  }
  if (!oneshot) {
    global::globalHaltRequested = global::HALT_LOOP_FINISHED;
  }
  onEndOfRun();
  return 0;
}

void DownloadEngine::waitData() {
  struct timeval tv;
  if (noWait_) {
    tv.tv_sec = 0;
    tv.tv_usec = 0;
  } else {
    auto ms = refreshInterval_.count();
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms * 1000) % 1000000;
  }
  eventPoll_->poll(tv);
}

void DownloadEngine::calculateStatistics() {
  if (statCalc_) {
    statCalc_->calculateStat(this);
  }
}

void DownloadEngine::afterEachIteration() {
  if (global::globalHaltRequested == global::HALT_GRACEFUL_ASKED) {
    QLOG_NOTICE(_("Shutdown sequence commencing... Press Ctrl-C again for emergency shutdown."));
    requestHalt();
    global::globalHaltRequested = global::HALT_GRACEFUL_UNDER_WAY;
    setNoWait(true);
    setRefreshInterval(std::chrono::milliseconds(0));
  } else if (global::globalHaltRequested == global::HALT_EMERGENCY_ASKED) {
    QLOG_NOTICE(_("Emergency shutdown sequence commencing..."));
    requestForceHalt();
    global::globalHaltRequested = global::HALT_EMERGENCY_UNDER_WAY;
    setNoWait(true);
    setRefreshInterval(std::chrono::milliseconds(0));
  }
}

void DownloadEngine::onEndOfRun() {
#ifdef QUARN_HAVE_REQUEST_GROUP_MAN
  if (requestGroupMan_) {
    requestGroupMan_->removeStoppedGroup(this);
    requestGroupMan_->closeFile();
    requestGroupMan_->save();
  }
#endif
}

void DownloadEngine::requestHalt() {
  haltRequested_ = std::max(haltRequested_, 1);
#ifdef QUARN_HAVE_REQUEST_GROUP_MAN
  if (requestGroupMan_) {
    requestGroupMan_->halt();
  }
#endif
}

void DownloadEngine::requestForceHalt() {
  haltRequested_ = std::max(haltRequested_, 2);
#ifdef QUARN_HAVE_REQUEST_GROUP_MAN
  if (requestGroupMan_) {
    requestGroupMan_->forceHalt();
  }
#endif
}

#ifdef QUARN_HAVE_REQUEST_GROUP_MAN
void DownloadEngine::setRequestGroupMan(std::unique_ptr<RequestGroupMan> rgman) {
  requestGroupMan_ = {rgman.release(), [](RequestGroupMan* p) { delete p; }};
}
#endif

void DownloadEngine::setStatCalc(std::unique_ptr<StatCalc> statCalc) {
  statCalc_ = std::move(statCalc);
}

void DownloadEngine::addCommand(std::unique_ptr<Command> command) {
  commands_.push_back(std::move(command));
}

void DownloadEngine::addCommand(std::vector<std::unique_ptr<Command>> commands) {
  for (auto& command : commands) {
    commands_.push_back(std::move(command));
  }
}

void DownloadEngine::addRoutineCommand(std::unique_ptr<Command> command) {
  routineCommands_.push_back(std::move(command));
}

bool DownloadEngine::addSocketForReadCheck(int fd, Command* command) {
  return eventPoll_->addEvents(fd, command, EventPoll::EVENT_READ);
}

bool DownloadEngine::deleteSocketForReadCheck(int fd, Command* command) {
  return eventPoll_->deleteEvents(fd, command, EventPoll::EVENT_READ);
}

bool DownloadEngine::addSocketForWriteCheck(int fd, Command* command) {
  return eventPoll_->addEvents(fd, command, EventPoll::EVENT_WRITE);
}

bool DownloadEngine::deleteSocketForWriteCheck(int fd, Command* command) {
  return eventPoll_->deleteEvents(fd, command, EventPoll::EVENT_WRITE);
}

}  // namespace quarn
