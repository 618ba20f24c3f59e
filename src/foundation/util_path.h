#pragma once

#include <cstddef>
#include <istream>
#include <string>
#include <utility>
#include <vector>

namespace quarn {
namespace util {

// The path of relPath inside dir ("./" for an empty dir).
std::string applyDir(const std::string& dir, const std::string& relPath);

// Writes every control byte (below 0x20, and 0x7F) as "%XX".
std::string escapePath(const std::string& s);

// Writes '/' as "%2F" and control bytes as "%XX".
std::string fixTaintedBasename(const std::string& src);

// A single path component made of the name: never holds '/' or control
// bytes, and is never "", "." or "..".
std::string createSafePath(const std::string& filename);
std::string createSafePath(const std::string& dir, const std::string& filename);

// True when the path is unsafe below a download directory (absolute, holds
// "." or ".." segments, a trailing '/' or control bytes).
bool detectDirTraversal(const std::string& s);

// Creates the directory and its parents; throws DlAbortEx on failure.
void mkdirs(const std::string& dirpath);

std::string getHomeDir();
std::string getXDGDir(const std::string& environmentVariable, const std::string& fallbackDir);
std::string getConfigFile();
std::string getDHTFile(bool ipv6);

// Writes data to filename through a temporary file renamed into place.
bool saveAs(const std::string& filename, const std::string& data, bool overwrite = false);

// Reads "INDEX=PATH"; throws DlAbortEx for a bad index or an empty path.
std::pair<size_t, std::string> parseIndexPath(const std::string& line);
std::vector<std::pair<size_t, std::string>> createIndexPaths(std::istream& i);

}  // namespace util
}  // namespace quarn
