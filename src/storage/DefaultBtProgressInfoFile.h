#pragma once

#include <memory>
#include <string>

#include "storage/BtProgressInfoFile.h"

namespace quarn {

class ControlFileTorrent;
class DownloadContext;
class IOFile;
class Option;
class PieceStorage;

// The binary control file of a download: which pieces are complete, which are
// partly written, and the geometry they refer to. Saved beside the output as
// its path plus getSuffix().
class DefaultBtProgressInfoFile : public BtProgressInfoFile {
 public:
  DefaultBtProgressInfoFile(std::shared_ptr<DownloadContext> downloadContext,
                            std::shared_ptr<PieceStorage> pieceStorage, const Option* option);
  ~DefaultBtProgressInfoFile() override;

  static const std::string& getSuffix();

  std::string getFilename() override { return filename_; }
  bool exists() override;
  // Writes the file when its content differs from what was last written. The
  // new content replaces the old file only by a final rename, so a failed save
  // leaves the previous file whole.
  void save() override;
  // Reads the file and applies it to the piece storage. Nothing is applied
  // unless the whole file is valid.
  void load() override;
  void removeFile() override;
  void updateFilename() override;

  // Writes the content into file and closes it.
  void save(IOFile& file);

  // Makes the record a torrent's: its info hash is written and checked on
  // load, and its upload count is kept across sessions.
  void setControlFileTorrent(std::shared_ptr<ControlFileTorrent> torrent) {
    torrent_ = std::move(torrent);
  }

 private:
  std::string createFilename() const;

  std::shared_ptr<DownloadContext> downloadContext_;
  std::shared_ptr<PieceStorage> pieceStorage_;
  std::shared_ptr<ControlFileTorrent> torrent_;
  const Option* option_;
  std::string filename_;
  std::string lastDigest_;
  // Set while the file on disk holds a record that could not be loaded; such
  // a record is not overwritten by this object.
  bool loadFailed_;
};

}  // namespace quarn
