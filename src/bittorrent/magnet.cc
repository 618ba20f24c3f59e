#include "bittorrent/magnet.h"

#include <vector>

#include "foundation/Dict.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DowncastValueBaseVisitor.h"
#include "foundation/List.h"
#include "foundation/String.h"
#include "foundation/base32.h"
#include "foundation/bencode2.h"
#include "foundation/util_chars.h"
#include "foundation/util_string.h"

namespace quarn {

namespace magnet {

std::unique_ptr<Dict> parse(const std::string& uri) {
  static const std::string prefix = "magnet:?";
  if (!util::startsWith(uri, prefix)) {
    return nullptr;
  }
  auto dict = Dict::g();
  std::vector<std::string> params;
  util::split(uri.begin() + prefix.size(), uri.end(), std::back_inserter(params), '&');
  for (const auto& param : params) {
    auto p = util::divide(param.begin(), param.end(), '=');
    std::string name(p.first.first, p.first.second);
    std::string value = util::percentDecode(p.second.first, p.second.second);
    auto* list = valueAs<List>(dict->get(name));
    if (!list) {
      auto created = List::g();
      list = created.get();
      dict->put(name, std::move(created));
    }
    list->append(String::g(std::move(value)));
  }
  return dict;
}

}  // namespace magnet

namespace bittorrent {

namespace {

DlAbortEx badMagnet(const char* message) {
  return DL_ABORT_EX(message, error_code::MAGNET_PARSE_ERROR);
}

// The 20-byte info hash of an "xt" value, or empty when it names none.
std::string infoHashOf(const std::string& xt) {
  static const std::string prefix = "urn:btih:";
  if (!util::startsWith(xt, prefix)) {
    return "";
  }
  auto hash = xt.begin() + prefix.size();
  if (xt.size() == prefix.size() + 40) {
    return util::fromHex(hash, xt.end());
  }
  if (xt.size() == prefix.size() + 32) {
    std::string bytes = base32::decode(hash, xt.end());
    return bytes.size() == INFO_HASH_LENGTH ? bytes : "";
  }
  return "";
}

}  // namespace

std::unique_ptr<TorrentAttribute> parseMagnet(const std::string& uri) {
  auto params = magnet::parse(uri);
  if (!params) {
    throw badMagnet("Bad BitTorrent Magnet URI.");
  }
  const auto* xts = valueAs<List>(params->get("xt"));
  if (!xts) {
    throw badMagnet("Missing xt parameter in Magnet URI.");
  }
  std::string infoHash;
  for (const auto& xt : *xts) {
    infoHash = infoHashOf(valueAs<String>(xt)->s());
    if (!infoHash.empty()) {
      break;
    }
  }
  if (infoHash.empty()) {
    throw badMagnet("Bad BitTorrent Magnet URI. No valid BitTorrent Info Hash found.");
  }
  auto attrs = std::make_unique<TorrentAttribute>();
  if (const auto* trs = valueAs<List>(params->get("tr"))) {
    for (const auto& tr : *trs) {
      attrs->announceList.push_back({util::encodeNonUtf8(valueAs<String>(tr)->s())});
    }
  }
  std::string name = "[METADATA]";
  const auto* dns = valueAs<List>(params->get("dn"));
  if (dns && !valueAs<String>(dns->get(0))->s().empty()) {
    name += util::encodeNonUtf8(valueAs<String>(dns->get(0))->s());
  } else {
    name += util::toHex(infoHash);
  }
  attrs->infoHash = std::move(infoHash);
  attrs->name = std::move(name);
  return attrs;
}

void loadMagnet(const std::string& uri, const std::shared_ptr<DownloadContext>& ctx) {
  ctx->setAttribute(CTX_ATTR_BT, std::shared_ptr<TorrentAttribute>(parseMagnet(uri)));
}

std::string metadata2Torrent(const std::string& metadata, const TorrentAttribute* attrs) {
  std::string torrent = "d";
  auto tiers = List::g();
  for (const auto& tier : attrs->announceList) {
    if (tier.empty()) {
      continue;
    }
    auto uris = List::g();
    for (const auto& uri : tier) {
      uris->append(String::g(uri));
    }
    tiers->append(std::move(uris));
  }
  if (!tiers->empty()) {
    torrent += "13:announce-list";
    torrent += bencode2::encode(tiers.get());
  }
  torrent += "4:info";
  torrent += metadata;
  torrent += "e";
  return torrent;
}

std::string torrent2Magnet(const TorrentAttribute* attrs) {
  if (attrs->infoHash.empty()) {
    return "";
  }
  std::string uri = "magnet:?xt=urn:btih:" + util::toUpper(util::toHex(attrs->infoHash));
  if (!attrs->name.empty()) {
    uri += "&dn=" + util::percentEncode(attrs->name);
  }
  for (const auto& tier : attrs->announceList) {
    for (const auto& tracker : tier) {
      uri += "&tr=" + util::percentEncode(tracker);
    }
  }
  return uri;
}

}  // namespace bittorrent
}  // namespace quarn
