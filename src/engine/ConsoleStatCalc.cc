#include "engine/ConsoleStatCalc.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <iomanip>
#include <sstream>

#include "engine/CheckIntegrityEntry.h"
#include "engine/ColorizedStream.h"
#include "engine/DownloadEngine.h"
#include "engine/FileAllocationEntry.h"
#include "engine/RequestGroup.h"
#include "engine/RequestGroupMan.h"
#include "engine/SizeFormatter.h"
#include "engine/TorrentSession.h"
#include "foundation/OutputFile.h"
#include "foundation/console.h"
#include "foundation/util_number.h"
#include "foundation/wallclock.h"
#include "storage/DownloadContext.h"
#include "storage/SequentialPicker.h"

namespace quarn {

namespace {

void printSizeProgress(std::ostream& o, const std::shared_ptr<RequestGroup>& rg,
                       const TransferStat& stat, const SizeFormatter& sizeFormatter) {
  if (rg->isSeeder()) {
    o << "SEED(";
    const int64_t completed = rg->getCompletedLength();
    if (completed > 0) {
      std::streamsize oldPrecision = o.precision();
      std::ios_base::fmtflags oldFlags = o.flags();
      o << std::fixed << std::setprecision(1)
        << static_cast<double>(stat.allTimeUploadLength * 10 / completed) / 10.0;
      o.precision(oldPrecision);
      o.flags(oldFlags);
    } else {
      o << "--";
    }
    o << ")";
    return;
  }
  const int64_t total = rg->getTotalLength();
  const int64_t completed = rg->getCompletedLength();
  o << sizeFormatter(completed) << "B/" << sizeFormatter(total) << "B";
  if (total > 0) {
    o << colors::cyan << "(" << 100 * completed / total << "%)" << colors::clear;
  }
}

void printProgress(std::ostream& o, const std::shared_ptr<RequestGroup>& rg,
                   const SizeFormatter& sizeFormatter) {
  TransferStat stat = rg->calculateStat();
  int64_t eta = 0;
  const int64_t total = rg->getTotalLength();
  if (total > 0 && stat.downloadSpeed > 0) {
    eta = (total - rg->getCompletedLength()) / stat.downloadSpeed;
  }
  o << colors::magenta << "[" << colors::clear << "#" << rg->getGroupId()->toAbbrevHex() << " ";
  printSizeProgress(o, rg, stat, sizeFormatter);
  o << " CN:" << rg->getNumConnection();
  if (const auto* torrent = rg->getTorrentSession()) {
    o << " SD:" << torrent->countSeeders();
  }
  if (!rg->downloadFinished()) {
    o << " DL:" << colors::green << sizeFormatter(stat.downloadSpeed) << "B" << colors::clear;
  }
  if (stat.sessionUploadLength > 0) {
    o << " UL:" << colors::cyan << sizeFormatter(stat.uploadSpeed) << "B" << colors::clear << "("
      << sizeFormatter(stat.allTimeUploadLength) << "B)";
  }
  if (eta > 0) {
    o << " ETA:" << colors::yellow << util::secfmt(eta) << colors::clear;
  }
  o << colors::magenta << "]" << colors::clear;
}

// The entry in progress of a queue of per-download work, and how many wait.
template <typename Entry>
void printEntryProgress(std::ostream& o, const char* label, const SequentialPicker<Entry>& picker,
                        const SizeFormatter& sizeFormatter) {
  Entry* entry = picker.getPickedEntry();
  if (!entry) {
    return;
  }
  const int64_t current = entry->getCurrentLength();
  const int64_t total = entry->getTotalLength();
  o << label << entry->getRequestGroup()->getGroupId()->toAbbrevHex() << " "
    << sizeFormatter(current) << "B/" << sizeFormatter(total) << "B(";
  if (total > 0) {
    o << 100 * current / total;
  } else {
    o << "--";
  }
  o << "%)]";
  if (picker.hasNext()) {
    o << "(+" << picker.countEntryInQueue() << ")";
  }
}

void printSummary(size_t width, RequestGroupMan* rgman, const SizeFormatter& sizeFormatter) {
  std::ostringstream header;
  header << " *** Download Progress Summary";
  time_t now;
  struct tm staticNow;
  char buf[26];
  if (time(&now) != static_cast<time_t>(-1) && localtime_r(&now, &staticNow) &&
      asctime_r(&staticNow, buf)) {
    char* lfptr = strchr(buf, '\n');
    if (lfptr) {
      *lfptr = '\0';
    }
    header << " as of " << buf;
  }
  header << " *** \n" << std::setfill('=') << std::setw(static_cast<int>(width)) << '=' << "\n";
  global::cout()->write(header.str().c_str());
  for (const auto& [gid, rg] : rgman->getRequestGroups()) {
    ColorizedStream o;
    printProgress(o, rg, sizeFormatter);
    o << "\nFILE: ";
    const auto& entries = rg->getDownloadContext()->getFileEntries();
    writeFilePath(entries.begin(), entries.end(), o, rg->inMemoryDownload());
    o << "\n" << std::setfill('-') << std::setw(static_cast<int>(width)) << '-' << "\n";
    global::cout()->write(o.str(false).c_str());
  }
}

}  // namespace

ConsoleStatCalc::ConsoleStatCalc(std::chrono::seconds summaryInterval, bool colorOutput,
                                 bool humanReadable)
    : summaryInterval_(summaryInterval),
      readoutVisibility_(true),
      truncate_(true),
      isTTY_(isatty(STDOUT_FILENO) == 1),
      colorOutput_(colorOutput) {
  if (humanReadable) {
    sizeFormatter_ = std::make_unique<AbbrevSizeFormatter>();
  } else {
    sizeFormatter_ = std::make_unique<PlainSizeFormatter>();
  }
}

ConsoleStatCalc::~ConsoleStatCalc() = default;

size_t ConsoleStatCalc::terminalWidth() const {
  struct winsize size;
  // Some terminals (serial lines, containers) report no width at all: they
  // get the usual 80 columns rather than blank frames.
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) {
    return size.ws_col - 1;
  }
  return 79;
}

void ConsoleStatCalc::calculateStat(const DownloadEngine* e) {
  const Timer& now = global::wallclock();
  if (lastReadout_.difference(now) < std::chrono::milliseconds(990)) {
    return;
  }
  lastReadout_ = now;
  size_t width = 79;
  const auto& out = global::cout();
  if (isTTY_) {
    width = terminalWidth();
    out->printf("\r%s\r", std::string(width, ' ').c_str());
  }
  auto* rgman = e->getRequestGroupMan();
  if (!rgman) {
    return;
  }
  if (rgman->countRequestGroup() > 0 && summaryInterval_.count() > 0 &&
      lastSummary_.difference(now) + std::chrono::milliseconds(10) >= summaryInterval_) {
    lastSummary_ = now;
    printSummary(width, rgman, *sizeFormatter_);
    out->write("\n");
    out->flush();
  }
  if (!readoutVisibility_) {
    return;
  }
  const bool color = out->supportsColor() && isTTY_ && colorOutput_;
  ColorizedStream o;
  const auto& groups = rgman->getRequestGroups();
  if (groups.size() == 1) {
    printProgress(o, groups.begin()->second, *sizeFormatter_);
  } else if (groups.size() > 1) {
    if (!rgman->downloadFinished()) {
      NetStat& netStat = rgman->getNetStat();
      const int32_t dl = netStat.calculateDownloadSpeed();
      const int32_t ul = netStat.calculateUploadSpeed();
      o << colors::magenta << "[" << colors::clear << "DL:" << colors::green
        << (*sizeFormatter_)(dl) << "B" << colors::clear;
      if (ul) {
        o << " UL:" << colors::cyan << (*sizeFormatter_)(ul) << "B" << colors::clear;
      }
      o << colors::magenta << "]" << colors::clear;
    }
    size_t shown = 0;
    for (const auto& [gid, rg] : groups) {
      if (shown == 5) {
        break;
      }
      o << colors::magenta << "[" << colors::clear << "#" << rg->getGroupId()->toAbbrevHex() << " ";
      printSizeProgress(o, rg, rg->calculateStat(), *sizeFormatter_);
      o << colors::magenta << "]" << colors::clear;
      ++shown;
    }
    if (groups.size() > shown) {
      o << "(+" << groups.size() - shown << ")";
    }
  }
  if (auto* faman = e->getFileAllocationMan()) {
    printEntryProgress(o, " [FileAlloc:#", *faman, *sizeFormatter_);
  }
  if (auto* ciman = e->getCheckIntegrityMan()) {
    printEntryProgress(o, " [Checksum:#", *ciman, *sizeFormatter_);
  }
  if (isTTY_) {
    std::string line = truncate_ ? o.str(color, width) : o.str(color);
    out->write(line.c_str());
  } else {
    out->write((o.str(false) + "\n").c_str());
  }
  out->flush();
}

}  // namespace quarn
