#include "foundation/uri.h"

#include <utility>
#include <vector>

#include "foundation/fmt.h"
#include "foundation/util_chars.h"

namespace quarn {
uint16_t getDefaultPort(const std::string& scheme) {
  if (scheme == "http") {
    return 80;
  }
  if (scheme == "https") {
    return 443;
  }
  if (scheme == "ftp") {
    return 21;
  }
  if (scheme == "sftp") {
    return 22;
  }
  return 0;
}

namespace uri {

namespace {

bool hasField(const uri_split_result& res, int field) {
  return res.field_set & (1 << field);
}

}  // namespace

void UriStruct::swap(UriStruct& other) {
  using std::swap;
  swap(protocol, other.protocol);
  swap(host, other.host);
  swap(dir, other.dir);
  swap(file, other.file);
  swap(query, other.query);
  swap(username, other.username);
  swap(password, other.password);
  swap(port, other.port);
  swap(hasPassword, other.hasPassword);
  swap(ipv6LiteralAddress, other.ipv6LiteralAddress);
}

void swap(UriStruct& lhs, UriStruct& rhs) {
  lhs.swap(rhs);
}

std::string getFieldString(const uri_split_result& res, int field, const char* base) {
  if (!hasField(res, field)) {
    return "";
  }
  return std::string(base + res.fields[field].off, res.fields[field].len);
}

bool parse(UriStruct& result, const std::string& uri) {
  uri_split_result res;
  if (uri_split(&res, uri.c_str()) != 0) {
    return false;
  }
  const char* base = uri.c_str();
  UriStruct us;
  us.protocol = getFieldString(res, USR_SCHEME, base);
  us.host = getFieldString(res, USR_HOST, base);
  us.port = hasField(res, USR_PORT) ? res.port : 0;
  if (us.port == 0) {
    us.port = getDefaultPort(us.protocol);
    if (us.port == 0) {
      return false;
    }
  }
  if (!hasField(res, USR_PATH)) {
    us.dir = "/";
  } else if (hasField(res, USR_BASENAME)) {
    us.dir.assign(base + res.fields[USR_PATH].off,
                  res.fields[USR_PATH].len - res.fields[USR_BASENAME].len);
    us.file = getFieldString(res, USR_BASENAME, base);
  } else {
    us.dir = getFieldString(res, USR_PATH, base);
  }
  if (hasField(res, USR_QUERY)) {
    us.query = "?" + getFieldString(res, USR_QUERY, base);
  }
  if (hasField(res, USR_USER)) {
    const auto& f = res.fields[USR_USER];
    us.username = util::percentDecode(base + f.off, base + f.off + f.len);
  }
  if (hasField(res, USR_PASSWD)) {
    const auto& f = res.fields[USR_PASSWD];
    us.password = util::percentDecode(base + f.off, base + f.off + f.len);
    us.hasPassword = true;
  }
  us.ipv6LiteralAddress = res.flags & USF_IPV6ADDR;
  result.swap(us);
  return true;
}

std::string construct(const UriStruct& us) {
  std::string res = us.protocol + "://";
  if (!us.username.empty()) {
    res += util::percentEncode(us.username);
    if (us.hasPassword) {
      res += ':';
      res += util::percentEncode(us.password);
    }
    res += '@';
  }
  if (us.ipv6LiteralAddress) {
    res += '[' + us.host + ']';
  } else {
    res += us.host;
  }
  if (us.port != 0 && getDefaultPort(us.protocol) != us.port) {
    res += fmt(":%u", us.port);
  }
  res += us.dir;
  if (us.dir.empty() || us.dir.back() != '/') {
    res += '/';
  }
  res += us.file;
  res += us.query;
  return res;
}

std::string normalizePath(std::string path) {
  // Kept segments as [begin, end) offsets, each end including its trailing '/'.
  std::vector<std::pair<size_t, size_t>> segments;
  size_t i = 0;
  const size_t n = path.size();
  bool leadingSlash = n > 0 && path[0] == '/';
  if (leadingSlash) {
    ++i;
  }
  while (i < n) {
    if (path[i] == '/') {
      ++i;
      continue;
    }
    size_t end = path.find('/', i);
    size_t segEnd = end == std::string::npos ? n : end + 1;
    size_t wordEnd = end == std::string::npos ? n : end;
    std::string_view word(path.data() + i, wordEnd - i);
    if (word == "..") {
      if (!segments.empty()) {
        segments.pop_back();
      }
    } else if (word != ".") {
      segments.emplace_back(i, segEnd);
    }
    i = segEnd;
  }
  std::string res = leadingSlash ? "/" : "";
  for (const auto& [b, e] : segments) {
    res.append(path, b, e - b);
  }
  return res;
}

std::string joinPath(std::string basePath, const std::string& newPath) {
  if (newPath.empty()) {
    return basePath;
  }
  if (basePath.empty() || newPath[0] == '/') {
    return normalizePath(newPath);
  }
  if (basePath.back() != '/') {
    basePath += '/';
  }
  return normalizePath(basePath + newPath);
}

std::string joinUri(const std::string& baseUri, const std::string& uri) {
  UriStruct us;
  if (parse(us, uri)) {
    return uri;
  }
  UriStruct bus;
  if (!parse(bus, baseUri)) {
    return uri;
  }
  std::string reference = uri.substr(0, uri.find('#'));
  auto qpos = reference.find('?');
  std::string query = qpos == std::string::npos ? "" : reference.substr(qpos);
  std::string newPath = joinPath(bus.dir, reference.substr(0, qpos));
  bus.dir.clear();
  bus.file.clear();
  bus.query.clear();
  std::string res = construct(bus);
  if (!newPath.empty()) {
    res.append(newPath, 1);
  }
  res += query;
  return res;
}

}  // namespace uri
}  // namespace quarn
