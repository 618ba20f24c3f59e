#pragma once

#include <memory>
#include <string>

#include "config/Option.h"
#include "config/prefs.h"
#include "storage/DownloadContext.h"
#include "foundation/Dict.h"
#include "foundation/Integer.h"
#include "foundation/List.h"
#include "foundation/String.h"
#include "foundation/bencode2.h"

namespace quarn::test {

// A bencoded byte string.
inline std::string bstr(const std::string& s) {
  return std::to_string(s.size()) + ":" + s;
}

// n piece hashes of 20 bytes each.
inline std::string pieceHashes(size_t n) {
  return std::string(n * 20, 'h');
}

// The bencoding of a value tree, so that documents read like their structure.
inline std::string encode(const std::unique_ptr<Dict>& d) {
  return bencode2::encode(d.get());
}

inline std::unique_ptr<List> strings(std::initializer_list<std::string> items) {
  auto list = List::g();
  for (const auto& s : items) {
    list->append(String::g(s));
  }
  return list;
}

// An info dictionary of one file of length bytes in pieces of pieceLength.
inline std::unique_ptr<Dict> singleInfo(const std::string& name, int64_t length,
                                        int64_t pieceLength = 16384) {
  auto info = Dict::g();
  info->put("name", name);
  info->put("length", Integer::g(length));
  info->put("piece length", Integer::g(pieceLength));
  const int64_t n = pieceLength > 0 ? (length + pieceLength - 1) / pieceLength : 0;
  info->put("pieces", pieceHashes(static_cast<size_t>(n)));
  return info;
}

inline std::unique_ptr<Dict> withInfo(std::unique_ptr<Dict> info) {
  auto root = Dict::g();
  root->put("info", std::move(info));
  return root;
}

inline std::shared_ptr<Option> torrentOption(const std::string& dir = "/dl") {
  auto option = std::make_shared<Option>();
  option->put(PREF_DIR, dir);
  option->put(PREF_MAX_CONNECTION_PER_SERVER, "1");
  return option;
}

}  // namespace quarn::test
