#pragma once

#include <string>

namespace quarn {

// Help tags; the number is the bit in a handler's tag mask.
enum HelpTag : unsigned int {
  TAG_BASIC = 0,
  TAG_ADVANCED,
  TAG_HTTP,
  TAG_HTTPS,
  TAG_FTP,
  TAG_METALINK,
  TAG_BITTORRENT,
  TAG_COOKIE,
  TAG_HOOK,
  TAG_FILE,
  TAG_RPC,
  TAG_CHECKSUM,
  TAG_EXPERIMENTAL,
  TAG_DEPRECATED,
  TAG_HELP,
  MAX_HELP_TAG
};

extern const char* const HELP_TAG_NAMES[MAX_HELP_TAG];

// The text of a tag number; "UNKNOWN" past the last tag.
const char* strHelpTag(unsigned int tag);

// The number of the tag with exactly this text; MAX_HELP_TAG when none has it.
unsigned int idHelpTag(const std::string& tagName);

}  // namespace quarn
