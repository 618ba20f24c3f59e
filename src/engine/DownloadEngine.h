#pragma once

#include <sys/time.h>

#include <chrono>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "engine/CUIDCounter.h"
#include "engine/Command.h"
#include "engine/EventPoll.h"
#include "engine/StatCalc.h"
#include "foundation/Timer.h"

namespace quarn {

class Option;
class RequestGroupMan;

// The single event loop and the owner of the services its commands share.
class DownloadEngine {
 public:
  static constexpr std::chrono::milliseconds DEFAULT_REFRESH_INTERVAL{1000};

  explicit DownloadEngine(std::unique_ptr<EventPoll> eventPoll);
  ~DownloadEngine();
  DownloadEngine(const DownloadEngine&) = delete;
  DownloadEngine& operator=(const DownloadEngine&) = delete;

  // Turns until both queues are empty (returns 0); a one-shot run returns 1
  // after its turn unless a command asked not to wait.
  int run(bool oneshot = false);

  void addCommand(std::unique_ptr<Command> command);
  void addCommand(std::vector<std::unique_ptr<Command>> commands);
  void addRoutineCommand(std::unique_ptr<Command> command);

  void setNoWait(bool b) { noWait_ = b; }
  bool getNoWait() const { return noWait_; }
  void setRefreshInterval(std::chrono::milliseconds interval) { refreshInterval_ = interval; }
  std::chrono::milliseconds getRefreshInterval() const { return refreshInterval_; }

  void setStatCalc(std::unique_ptr<StatCalc> statCalc);

  // Takes ownership of the download manager.
  void setRequestGroupMan(std::unique_ptr<RequestGroupMan> rgman);
  RequestGroupMan* getRequestGroupMan() const { return requestGroupMan_.get(); }

  void setOption(Option* op) { option_ = op; }
  Option* getOption() const { return option_; }

  // Every active download is asked to halt.
  void requestHalt();
  // Every active download is asked to halt at once.
  void requestForceHalt();
  bool isHaltRequested() const { return haltRequested_ >= 1; }
  bool isForceHaltRequested() const { return haltRequested_ >= 2; }

  cuid_t newCUID() { return cuidCounter_.newID(); }

  const std::string& getSessionId() const { return sessionId_; }

  EventPoll* getEventPoll() const { return eventPoll_.get(); }

  // Readiness registration of descriptors on behalf of commands.
  bool addSocketForReadCheck(int fd, Command* command);
  bool deleteSocketForReadCheck(int fd, Command* command);
  bool addSocketForWriteCheck(int fd, Command* command);
  bool deleteSocketForWriteCheck(int fd, Command* command);

  size_t countCommands() const { return commands_.size(); }
  size_t countRoutineCommands() const { return routineCommands_.size(); }

 private:
  void waitData();
  void calculateStatistics();
  void afterEachIteration();
  void onEndOfRun();

  std::string sessionId_;
  std::unique_ptr<EventPoll> eventPoll_;
  std::unique_ptr<StatCalc> statCalc_;
  int haltRequested_;
  bool noWait_;
  std::chrono::milliseconds refreshInterval_;
  Timer lastRefresh_;
  CUIDCounter cuidCounter_;
  // Owned; deleted through a function pointer so that this header needs only
  // the declaration of the class.
  std::unique_ptr<RequestGroupMan, void (*)(RequestGroupMan*)> requestGroupMan_;
  Option* option_;
  std::deque<std::unique_ptr<Command>> routineCommands_;
  std::deque<std::unique_ptr<Command>> commands_;
};

}  // namespace quarn
