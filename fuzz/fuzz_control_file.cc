// Loads arbitrary bytes as the control file of a download of fixed geometry. A
// record that loads must describe a consistent state (in-flight pieces are
// incomplete and of their real length) and survive saving and loading again.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "config/Option.h"
#include "config/prefs.h"
#include "foundation/RecoverableException.h"
#include "storage/DefaultBtProgressInfoFile.h"
#include "storage/DefaultPieceStorage.h"
#include "storage/DownloadContext.h"
#include "storage/Piece.h"

namespace {

constexpr int32_t PIECE_LENGTH = 32768;
constexpr int64_t TOTAL_LENGTH = 100000;

std::string& tempDir() {
  static std::string dir;
  return dir;
}

void removeTempDir() {
  for (const char* name : {"/out.quarn", "/out.quarn__temp"}) {
    unlink((tempDir() + name).c_str());
  }
  rmdir(tempDir().c_str());
}

const std::string& basePath() {
  static const std::string path = [] {
    char dir[] = "/tmp/quarn-fuzz-control-XXXXXX";
    if (!mkdtemp(dir)) {
      std::abort();
    }
    tempDir() = dir;
    std::atexit(removeTempDir);
    return tempDir() + "/out";
  }();
  return path;
}

struct State {
  std::string bitfield;
  std::vector<std::string> pieces;
  bool operator==(const State&) const = default;
};

State stateOf(quarn::PieceStorage& storage) {
  State s;
  s.bitfield.assign(reinterpret_cast<const char*>(storage.getBitfield()),
                    storage.getBitfieldLength());
  std::vector<std::shared_ptr<quarn::Piece>> pieces;
  storage.getInFlightPieces(pieces);
  for (const auto& p : pieces) {
    if (storage.hasPiece(p->getIndex()) ||
        p->getLength() != storage.getPieceLength(p->getIndex())) {
      std::abort();
    }
    s.pieces.push_back(
        std::to_string(p->getIndex()) + ":" +
        std::string(reinterpret_cast<const char*>(p->getBitfield()), p->getBitfieldLength()));
  }
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto ctx = std::make_shared<quarn::DownloadContext>(PIECE_LENGTH, TOTAL_LENGTH, basePath());
  quarn::Option option;
  option.put(quarn::PREF_ALLOW_PIECE_LENGTH_CHANGE, "true");
  auto storage = std::make_shared<quarn::DefaultPieceStorage>(ctx, &option);
  quarn::DefaultBtProgressInfoFile file(ctx, storage, &option);
  {
    std::ofstream out(file.getFilename(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  try {
    file.load();
  } catch (const quarn::RecoverableException&) {
    return 0;
  }
  State loaded = stateOf(*storage);
  if (storage->getCompletedLength() > TOTAL_LENGTH) {
    std::abort();
  }
  file.save();
  auto again = std::make_shared<quarn::DefaultPieceStorage>(ctx, &option);
  quarn::DefaultBtProgressInfoFile(ctx, again, &option).load();
  if (!(stateOf(*again) == loaded)) {
    std::abort();
  }
  return 0;
}
