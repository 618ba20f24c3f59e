#include "config/OptionHandlerFactory.h"

#include <cstring>
#include <deque>
#include <memory>
#include <string>

#include "config/BooleanOptionHandler.h"
#include "config/ChecksumOptionHandler.h"
#include "config/CumulativeOptionHandler.h"
#include "config/DefaultOptionHandler.h"
#include "config/DeprecatedOptionHandler.h"
#include "config/FloatNumberOptionHandler.h"
#include "config/HostPortOptionHandler.h"
#include "config/HttpProxyOptionHandler.h"
#include "config/IndexOutOptionHandler.h"
#include "config/IntegerRangeOptionHandler.h"
#include "config/LocalFilePathOptionHandler.h"
#include "config/NumberOptionHandler.h"
#include "config/OptimizeConcurrentDownloadsOptionHandler.h"
#include "config/ParameterOptionHandler.h"
#include "config/PrioritizePieceOptionHandler.h"
#include "config/UnitNumberOptionHandler.h"
#include "config/help_tags.h"
#include "config/option_catalogue.h"
#include "foundation/i18n.h"

namespace quarn {

namespace {

using catalogue::Kind;
using catalogue::OptionEntry;

// Help texts are laid out once and live as long as the process, since
// handlers keep plain pointers to them.
const char* description(const OptionEntry& e) {
  if (!e.head) {
    return NO_DESCRIPTION;
  }
  static std::deque<std::string> texts;
  texts.push_back(_(catalogue::layOutHelpText(e).c_str()));
  return texts.back().c_str();
}

std::string defaultValue(const OptionEntry& e) {
  return e.computeDefault ? e.computeDefault() : std::string(e.defaultValue);
}

std::string possibleValues(const OptionEntry& e) {
  return e.computePossibleValues ? e.computePossibleValues() : std::string(e.possibleValues);
}

std::unique_ptr<OptionHandler> makeHandler(const OptionEntry& e) {
  auto desc = description(e);
  auto def = defaultValue(e);
  switch (e.kind) {
    case Kind::BOOLEAN:
      return std::make_unique<BooleanOptionHandler>(e.pref, desc, def, e.argType, e.shortName);
    case Kind::NUMBER:
      return std::make_unique<NumberOptionHandler>(e.pref, desc, def, e.min, e.max, e.shortName);
    case Kind::UNIT_NUMBER:
      return std::make_unique<UnitNumberOptionHandler>(e.pref, desc, def, e.min, e.max,
                                                       e.shortName);
    case Kind::INTEGER_RANGE:
      return std::make_unique<IntegerRangeOptionHandler>(
          e.pref, desc, def, static_cast<int32_t>(e.min), static_cast<int32_t>(e.max), e.shortName);
    case Kind::FLOAT_NUMBER:
      return std::make_unique<FloatNumberOptionHandler>(
          e.pref, desc, def, static_cast<double>(e.min), static_cast<double>(e.max), e.shortName);
    case Kind::DEFAULT: {
      auto h = std::make_unique<DefaultOptionHandler>(e.pref, desc, def, possibleValues(e),
                                                      e.argType, e.shortName);
      h->setAllowEmpty(e.allowEmpty);
      return h;
    }
    case Kind::CUMULATIVE:
      return std::make_unique<CumulativeOptionHandler>(e.pref, desc, def, e.delimiter,
                                                       possibleValues(e), e.argType, e.shortName);
    case Kind::PARAMETER:
      return std::make_unique<ParameterOptionHandler>(e.pref, desc, def, e.words, e.shortName);
    case Kind::CHECKSUM:
      if (e.words.empty()) {
        return std::make_unique<ChecksumOptionHandler>(e.pref, desc, e.shortName);
      }
      return std::make_unique<ChecksumOptionHandler>(e.pref, desc, e.words, e.shortName);
    case Kind::LOCAL_FILE_PATH:
      return std::make_unique<LocalFilePathOptionHandler>(e.pref, desc, def, e.acceptStdin,
                                                          e.shortName, e.mustExist,
                                                          possibleValues(e), e.namesFile);
    case Kind::HOST_PORT:
      return std::make_unique<HostPortOptionHandler>(e.pref, desc, def, e.hostPref, e.portPref,
                                                     e.shortName);
    case Kind::HTTP_PROXY:
      return std::make_unique<HttpProxyOptionHandler>(e.pref, desc, def, e.shortName);
    case Kind::INDEX_OUT:
      return std::make_unique<IndexOutOptionHandler>(e.pref, desc, e.shortName);
    case Kind::PRIORITIZE_PIECE:
      return std::make_unique<PrioritizePieceOptionHandler>(e.pref, desc, def, e.shortName);
    case Kind::OPTIMIZE_CONCURRENT_DOWNLOADS:
      return std::make_unique<OptimizeConcurrentDownloadsOptionHandler>(e.pref, desc, def,
                                                                        e.shortName);
  }
  return nullptr;
}

void applyTags(OptionHandler& h, const char* tags) {
  for (const char* p = tags; *p;) {
    auto len = std::strcspn(p, ",");
    std::string name = "#" + std::string(p, len);
    auto tag = idHelpTag(name);
    if (tag == MAX_HELP_TAG) {
      // The catalogue is fixed at build time; a bad tag name is a typo there.
      std::fprintf(stderr, "Unknown help tag %s in the option catalogue\n", name.c_str());
      std::abort();
    }
    h.addTag(tag);
    p += len;
    while (*p == ',' || *p == ' ') {
      ++p;
    }
  }
}

void applyFlags(OptionHandler& h, const char* flags) {
  for (const char* p = flags; *p; ++p) {
    switch (*p) {
      case 'I':
        h.setInitialOption(true);
        break;
      case 'C':
        h.setChangeOption(true);
        break;
      case 'R':
        h.setChangeOptionForReserved(true);
        break;
      case 'G':
        h.setChangeGlobalOption(true);
        break;
      case 'E':
        h.setEraseAfterParse(true);
        break;
      case 'U':
        h.setCumulative(true);
        break;
      case 'H':
        h.hide();
        break;
      default:
        std::fprintf(stderr, "Unknown flag %c in the option catalogue\n", *p);
        std::abort();
    }
  }
}

}  // namespace

std::vector<OptionHandler*> OptionHandlerFactory::createOptionHandlers() {
  std::vector<OptionHandler*> handlers;
  for (const auto& e : catalogue::entries()) {
    auto h = makeHandler(e);
    if (e.deprecation != catalogue::Deprecation::NONE) {
      h = std::make_unique<DeprecatedOptionHandler>(
          h.release(), nullptr, e.deprecation == catalogue::Deprecation::STILL_WORKS,
          e.deprecationMessage);
    }
    applyTags(*h, e.tags);
    applyFlags(*h, e.flags);
    handlers.push_back(h.release());
  }
  return handlers;
}

}  // namespace quarn
