#include "config/help_tags.h"

namespace quarn {

const char* const HELP_TAG_NAMES[MAX_HELP_TAG] = {
    "#basic",    "#advanced",   "#http",         "#https",      "#ftp",
    "#metalink", "#bittorrent", "#cookie",       "#hook",       "#file",
    "#rpc",      "#checksum",   "#experimental", "#deprecated", "#help",
};

const char* strHelpTag(unsigned int tag) {
  return tag < MAX_HELP_TAG ? HELP_TAG_NAMES[tag] : "UNKNOWN";
}

unsigned int idHelpTag(const std::string& tagName) {
  for (unsigned int i = 0; i < MAX_HELP_TAG; ++i) {
    if (tagName == HELP_TAG_NAMES[i]) {
      return i;
    }
  }
  return MAX_HELP_TAG;
}

}  // namespace quarn
