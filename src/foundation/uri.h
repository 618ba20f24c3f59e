#pragma once

#include <cstdint>
#include <string>

#include "foundation/uri_split.h"

namespace quarn {
// The default port of a scheme ("http", "https", "ftp", "sftp"); 0 otherwise.
uint16_t getDefaultPort(const std::string& scheme);

namespace uri {

// A URI split into strings.
struct UriStruct {
  std::string protocol;
  std::string host;
  std::string dir;
  std::string file;
  std::string query;
  std::string username;
  std::string password;
  uint16_t port = 0;
  bool hasPassword = false;
  bool ipv6LiteralAddress = false;

  void swap(UriStruct& other);
};

void swap(UriStruct& lhs, UriStruct& rhs);

// The text of a present field of a split, or "" when it is absent.
std::string getFieldString(const uri_split_result& res, int field, const char* base);

// Fills result from the URI text; false when the text does not split or names
// neither a port nor a scheme with a default port.
bool parse(UriStruct& result, const std::string& uri);

std::string construct(const UriStruct& us);

// Removes "." and ".." segments and repeated slashes.
std::string normalizePath(std::string path);

// Merges a relative path into a base directory path and normalises it.
std::string joinPath(std::string basePath, const std::string& newPath);

// Resolves a reference against a base URI.
std::string joinUri(const std::string& baseUri, const std::string& uri);

}  // namespace uri
}  // namespace quarn
