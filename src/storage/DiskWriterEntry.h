#pragma once

#include <memory>
#include <string>

#include "storage/DiskWriter.h"

namespace quarn {

class FileEntry;

// One file of a multi-file download with its (optional) disk writer.
class DiskWriterEntry {
 public:
  explicit DiskWriterEntry(std::shared_ptr<FileEntry> fileEntry);

  const std::string& getFilePath() const;
  void initAndOpenFile();
  void openFile();
  void openExistingFile();
  void closeFile();
  bool fileExists();
  int64_t size() const;

  const std::shared_ptr<FileEntry>& getFileEntry() const { return fileEntry_; }
  void setDiskWriter(std::unique_ptr<DiskWriter> diskWriter) {
    diskWriter_ = std::move(diskWriter);
  }
  const std::unique_ptr<DiskWriter>& getDiskWriter() const { return diskWriter_; }
  bool isOpen() const { return open_; }
  bool needsFileAllocation() const { return needsFileAllocation_; }
  void needsFileAllocation(bool f) { needsFileAllocation_ = f; }
  bool needsDiskWriter() const { return needsDiskWriter_; }
  void needsDiskWriter(bool f) { needsDiskWriter_ = f; }

 private:
  // Opens the writer, when there is one, with the file's length.
  void openWith(void (DiskWriter::*open)(int64_t));

  std::shared_ptr<FileEntry> fileEntry_;
  std::unique_ptr<DiskWriter> diskWriter_;
  bool open_;
  bool needsFileAllocation_;
  bool needsDiskWriter_;
};

}  // namespace quarn
