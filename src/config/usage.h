#pragma once

#include <memory>
#include <string>

namespace quarn {

class OptionHandler;
class OptionParser;
class OutputFile;

// Prints one option's help entry: its description block, then the possible
// values, the default and the tags.
void write(OutputFile& out, const OptionHandler& handler);

// Prints the usage line and the help listing selected by `keyword`: "" for the
// short hint, "#all", a help tag, or a fragment of option names.
void showUsage(const std::string& keyword, const OptionParser& parser,
               const std::shared_ptr<OutputFile>& out);

// Prints the version report with the build's configuration to standard output.
void showVersion();

}  // namespace quarn
