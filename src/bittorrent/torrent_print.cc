#include "bittorrent/torrent_print.h"

#include "bittorrent/magnet.h"
#include "bittorrent/torrent_reader.h"
#include "foundation/OutputFile.h"
#include "foundation/Time.h"
#include "foundation/util_number.h"
#include "foundation/util_string.h"
#include "storage/DownloadContext.h"

namespace quarn {
namespace bittorrent {

namespace {

void printTrackers(OutputFile& out, const TorrentAttribute& attrs) {
  out.printf("Announce:\n");
  for (const auto& tier : attrs.announceList) {
    for (const auto& uri : tier) {
      out.printf(" %s", uri.c_str());
    }
    out.printf("\n");
  }
}

void printSources(OutputFile& out, const TorrentAttribute& attrs) {
  if (!attrs.urlList.empty()) {
    out.printf("URL List:\n");
    for (const auto& url : attrs.urlList) {
      out.printf(" %s\n", url.c_str());
    }
  }
  if (!attrs.nodes.empty()) {
    out.printf("Nodes:\n");
    for (const auto& node : attrs.nodes) {
      out.printf(" %s:%u\n", node.first.c_str(), node.second);
    }
  }
}

}  // namespace

void print(OutputFile& out, const DownloadContext& ctx) {
  const TorrentAttribute& attrs = *getTorrentAttrs(&ctx);
  out.printf("*** BitTorrent File Information ***\n");
  if (!attrs.comment.empty()) {
    out.printf("Comment: %s\n", attrs.comment.c_str());
  }
  if (attrs.creationDate) {
    out.printf("Creation Date: %s\n",
               Time(static_cast<time_t>(attrs.creationDate)).toHTTPDate().c_str());
  }
  if (!attrs.createdBy.empty()) {
    out.printf("Created By: %s\n", attrs.createdBy.c_str());
  }
  out.printf("Mode: %s\n", getModeString(attrs.mode));
  printTrackers(out, attrs);
  out.printf("Info Hash: %s\n", util::toHex(attrs.infoHash).c_str());
  out.printf("Piece Length: %sB\n", util::abbrevSize(ctx.getPieceLength()).c_str());
  out.printf("The Number of Pieces: %lu\n", static_cast<unsigned long>(ctx.getNumPieces()));
  out.printf("Total Length: %sB (%s)\n", util::abbrevSize(ctx.getTotalLength()).c_str(),
             util::uitos(ctx.getTotalLength(), true).c_str());
  printSources(out, attrs);
  out.printf("Name: %s\n", attrs.name.c_str());
  out.printf("Magnet URI: %s\n", torrent2Magnet(&attrs).c_str());
  util::toStream(ctx.getFileEntries().begin(), ctx.getFileEntries().end(), out);
}

}  // namespace bittorrent
}  // namespace quarn
