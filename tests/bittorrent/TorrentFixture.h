#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <string>

#include "config/Option.h"
#include "config/prefs.h"
#include "foundation/Dict.h"
#include "foundation/Integer.h"
#include "foundation/List.h"
#include "foundation/String.h"
#include "foundation/bencode2.h"
#include "storage/DownloadContext.h"

namespace quarn::test {

// A TCP port nothing listens on now, from the kernel's ephemeral range, for
// options that take a port list rather than 0.
inline uint16_t freePort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
  socklen_t len = sizeof(addr);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}

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

// An info dictionary named name of files of 10 bytes each, in one piece.
inline std::unique_ptr<Dict> multiInfo(const std::string& name,
                                       std::initializer_list<const char*> files) {
  auto list = List::g();
  for (const char* file : files) {
    auto f = Dict::g();
    f->put("length", Integer::g(10));
    f->put("path", strings({file}));
    list->append(std::move(f));
  }
  auto info = Dict::g();
  info->put("name", name);
  info->put("files", std::move(list));
  info->put("piece length", Integer::g(16384));
  info->put("pieces", pieceHashes(1));
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
