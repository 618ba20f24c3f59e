#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "config/Pref.h"

namespace quarn {

class Option;
class OptionHandler;

// Owns every option handler and is the one door through which option texts
// (command line, configuration text, name/value pairs, defaults) reach an
// Option. Lookups never return hidden handlers.
class OptionParser {
 public:
  OptionParser();
  ~OptionParser();
  OptionParser(const OptionParser&) = delete;
  OptionParser& operator=(const OptionParser&) = delete;

  // Reads the command line into one "name=value" line per option occurrence
  // and appends the positional arguments. Values of options marked erase
  // after parse are overwritten with '*' in argv.
  void parseArg(std::ostream& out, std::vector<std::string>& nonopts, int argc, char* argv[]) const;
  // Configuration text: one "name=value" per line, '#' at the start of a line
  // begins a comment.
  void parse(Option& option, std::istream& in) const;
  void parse(Option& option, const std::vector<std::pair<std::string, std::string>>& options) const;
  // Applies every non-empty default, hidden options included.
  void parseDefaultValues(Option& option) const;

  void addOptionHandler(OptionHandler* handler);
  void setOptionHandlers(const std::vector<OptionHandler*>& handlers);

  const OptionHandler* find(const Pref* pref) const;
  const OptionHandler* findById(size_t id) const;
  const OptionHandler* findByShortName(char shortName) const;
  std::vector<const OptionHandler*> findByTag(unsigned int tag) const;
  std::vector<const OptionHandler*> findByNameSubstring(const std::string& substring) const;
  std::vector<const OptionHandler*> findAll() const;

  static const std::shared_ptr<OptionParser>& getInstance();
  static void deleteInstance();

 private:
  const OptionHandler* visible(size_t id) const;
  void applyLine(Option& option, const std::string& line) const;
  // Hands value to the handler of the option called name; an unknown or hidden
  // name is only warned about, shown as `origin`.
  void apply(Option& option, const std::string& name, const std::string& value,
             const std::string& origin) const;
  // Raises the error for an option that getopt_long refused.
  [[noreturn]] void raiseParseError(int nextIndex, char* argv[]) const;

  std::vector<OptionHandler*> handlers_;
  size_t shortOpts_[256];

  static std::shared_ptr<OptionParser> optionParser_;
};

}  // namespace quarn
