#pragma once

#include <chrono>
#include <memory>

#include "engine/StatCalc.h"
#include "foundation/Timer.h"

namespace quarn {

class SizeFormatter;

// The console readout: one progress line redrawn about once a second, and a
// summary of all active downloads every summary interval.
class ConsoleStatCalc : public StatCalc {
 public:
  ConsoleStatCalc(std::chrono::seconds summaryInterval, bool colorOutput = true,
                  bool humanReadable = true);
  ~ConsoleStatCalc() override;

  void calculateStat(const DownloadEngine* e) override;

  void setReadoutVisibility(bool visibility) { readoutVisibility_ = visibility; }
  void setTruncate(bool truncate) { truncate_ = truncate; }
  // Lets tests stand in for a terminal of the given width.
  void setTerminal(bool isTTY) { isTTY_ = isTTY; }

 private:
  size_t terminalWidth() const;

  Timer lastReadout_;
  Timer lastSummary_;
  std::chrono::seconds summaryInterval_;
  std::unique_ptr<SizeFormatter> sizeFormatter_;
  bool readoutVisibility_;
  bool truncate_;
  bool isTTY_;
  bool colorOutput_;
};

}  // namespace quarn
