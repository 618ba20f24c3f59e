#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/OptionHandler.h"
#include "config/Pref.h"

namespace quarn {

// The catalogue of every option as plain data. Help, the option parser and the
// per-download readers all see options through the handlers built from it.
namespace catalogue {

enum class Kind {
  BOOLEAN,
  NUMBER,
  UNIT_NUMBER,
  INTEGER_RANGE,
  FLOAT_NUMBER,
  DEFAULT,
  CUMULATIVE,
  PARAMETER,
  CHECKSUM,
  LOCAL_FILE_PATH,
  HOST_PORT,
  HTTP_PROXY,
  INDEX_OUT,
  PRIORITIZE_PIECE,
  OPTIMIZE_CONCURRENT_DOWNLOADS,
};

enum class Deprecation { NONE, STILL_WORKS, IGNORED };

constexpr auto REQ = OptionHandler::ARG_REQUIRED;
constexpr auto OPT = OptionHandler::ARG_OPTIONAL;
constexpr auto NONE = OptionHandler::ARG_NONE;

struct OptionEntry {
  const Pref* pref;
  Kind kind;
  char shortName = 0;
  // False when help does not show the short letter although it works.
  bool shortNameInHelp = true;
  // Argument syntax shown after the name in help; null for hidden options,
  // which have no help text.
  const char* head = nullptr;
  // English description laid out after the head.
  const char* text = nullptr;
  OptionHandler::ARG_TYPE argType = REQ;
  const char* defaultValue = "";
  // Set for defaults that depend on the environment at start-up.
  std::string (*computeDefault)() = nullptr;
  // Bounds of numbers and ranges; -1 is no bound.
  int64_t min = -1;
  int64_t max = -1;
  // Allowed words of a parameter, accepted digest types of a checksum.
  std::vector<std::string> words = {};
  const char* possibleValues = "";
  std::string (*computePossibleValues)() = nullptr;
  bool acceptStdin = false;
  bool mustExist = false;
  // The path names a file to write: "." or ".." as its last part is refused.
  bool namesFile = false;
  const Pref* hostPref = nullptr;
  const Pref* portPref = nullptr;
  const char* delimiter = "";
  // Help tags without '#', separated by ", ".
  const char* tags = "";
  // Letters: I initial, C change, R change for reserved, G change global,
  // E erase after parse, U cumulative, H hidden.
  const char* flags = "";
  Deprecation deprecation = Deprecation::NONE;
  const char* deprecationMessage = "";
  bool allowEmpty = true;
};

// Every entry in catalogue order.
const std::vector<OptionEntry>& entries();

// The help block of an entry: " -x, --name=HEAD" padded to column 30, then the
// description wrapped to lines that end before column 80.
std::string layOutHelpText(const OptionEntry& entry);

}  // namespace catalogue

}  // namespace quarn
