#include "config/usage.h"

#include <cstdio>

#include "config/OptionHandler.h"
#include "config/OptionParser.h"
#include "config/feature_config.h"
#include "config/help_tags.h"
#include "config/prefs.h"
#include "config/version.h"
#include "foundation/MessageDigest.h"
#include "foundation/OutputFile.h"
#include "foundation/console.h"
#include "foundation/i18n.h"

namespace quarn {

void write(OutputFile& out, const OptionHandler& handler) {
  out.printf("%s\n\n", handler.getDescription());
  auto possibleValues = handler.createPossibleValuesString();
  if (!possibleValues.empty()) {
    out.printf("%s%s\n", _("                              Possible Values: "),
               possibleValues.c_str());
  }
  if (!handler.getDefaultValue().empty()) {
    out.printf("%s%s\n", _("                              Default: "),
               handler.getDefaultValue().c_str());
  }
  out.printf("%s%s\n", _("                              Tags: "), handler.toTagString().c_str());
}

namespace {

void printEntries(OutputFile& out, const std::vector<const OptionHandler*>& handlers) {
  for (auto h : handlers) {
    write(out, *h);
    out.printf("\n");
  }
}

void printBasicNotes(OutputFile& out) {
  out.printf("URI, MAGNET, TORRENT_FILE, METALINK_FILE:\n");
  out.printf(
      _(" Several HTTP(S)/FTP URIs given together must all point to the same file,\n"
        " or the download fails; with -Z each URI becomes a download of its own."));
  out.printf("\n");
  out.printf(
      _(" Any number of magnet links, torrent files and Metalink files may be given\n"
        " as well; each of them is always a separate download."));
  out.printf("\n\n");
  out.printf(
      _(" A torrent file given with -T may be combined with URIs: the file is then\n"
        " fetched from the swarm and from the HTTP/FTP servers at the same time, and\n"
        " the data from the servers is shared with the swarm. For a one-file torrent,\n"
        " a URI ending in '/' gets the torrent's name appended."));
  out.printf("\n\n");
  out.printf(
      _(" Quote a URI with single(') or double(\") quotation marks when it contains\n"
        " \"&\" or any other character that is special to the shell."));
  out.printf("\n\n");
  out.printf(
      _(" About the number of connections\n"
        " By default one connection per host is used, and a range is not split into\n"
        " segments smaller than 20MiB, whatever -s says. For more connections, use\n"
        " for example --max-connection-per-server=4 --min-split-size=1M."));
  out.printf("\n\n");
}

}  // namespace

void showUsage(const std::string& keyword, const OptionParser& parser,
               const std::shared_ptr<OutputFile>& out) {
  out->printf(_("Usage: quarnc [OPTIONS] [URI | MAGNET | TORRENT_FILE | METALINK_FILE]..."));
  out->printf("\n");
  if (keyword.empty()) {
    out->printf(_("See 'quarnc -h'."));
    out->printf("\n");
    return;
  }
  if (keyword[0] == '#') {
    std::vector<const OptionHandler*> handlers;
    if (keyword == "#all") {
      handlers = parser.findAll();
      out->printf(_("Printing all options."));
    } else {
      handlers = parser.findByTag(idHelpTag(keyword));
      out->printf(_("Printing options tagged with '%s'."), keyword.c_str());
      out->printf("\n");
      out->printf(_("See 'quarnc -h#help' to know all available tags."));
    }
    out->printf("\n");
    out->printf(_("Options:"));
    out->printf("\n");
    printEntries(*out, handlers);
  } else {
    auto handlers = parser.findByNameSubstring(keyword);
    if (handlers.empty()) {
      out->printf(_("No option matching with '%s'."), keyword.c_str());
      out->printf("\n");
      if (auto help = parser.find(PREF_HELP)) {
        write(*out, *help);
      }
    } else {
      out->printf(_("Printing options whose name includes '%s'."), keyword.c_str());
      out->printf("\n");
      out->printf(_("Options:"));
      out->printf("\n");
      printEntries(*out, handlers);
    }
  }
  if (keyword == strHelpTag(TAG_BASIC)) {
    printBasicNotes(*out);
  }
  out->printf(_("Refer to man page for more information."));
  out->printf("\n");
}

void showVersion() {
  std::printf("%s%s%s\n", PACKAGE_NAME, _(" version "), PACKAGE_VERSION);
  std::printf(
      "This program is free software; you can redistribute it and/or modify it under\n"
      "the terms of its licence. It comes with NO WARRANTY, to the extent permitted\n"
      "by law.\n"
      "\n");
  std::printf("%s\n", _("** Configuration **"));
  std::printf("%s: %s\n", _("Enabled Features"), featureSummary().c_str());
  std::printf("%s: %s\n", _("Hash Algorithms"),
              MessageDigest::getSupportedHashTypeString().c_str());
  std::printf("%s: %s\n", _("Libraries"), usedLibs().c_str());
  std::printf("%s: %s\n", _("Compiler"), usedCompilerAndPlatform().c_str());
  std::printf("%s: %s\n", _("System"), getOperatingSystemInfo().c_str());
  std::printf("\n");
  std::printf(_("Report bugs to %s"), "the quarnc issue tracker <https://quarnc.invalid/issues>");
  std::printf("\n");
  std::printf(_("Visit %s"), "https://quarnc.invalid/");
  std::printf("\n");
  std::fflush(stdout);
}

}  // namespace quarn
