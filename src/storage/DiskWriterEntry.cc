#include "storage/DiskWriterEntry.h"

#include "engine/FileEntry.h"
#include "foundation/File.h"

namespace quarn {

DiskWriterEntry::DiskWriterEntry(std::shared_ptr<FileEntry> fileEntry)
    : fileEntry_(std::move(fileEntry)),
      open_(false),
      needsFileAllocation_(false),
      needsDiskWriter_(false) {}

const std::string& DiskWriterEntry::getFilePath() const {
  return fileEntry_->getPath();
}

void DiskWriterEntry::initAndOpenFile() {
  if (diskWriter_) {
    diskWriter_->initAndOpenFile(fileEntry_->getLength());
    open_ = true;
  }
}

void DiskWriterEntry::openFile() {
  if (diskWriter_) {
    diskWriter_->openFile(fileEntry_->getLength());
    open_ = true;
  }
}

void DiskWriterEntry::openExistingFile() {
  if (diskWriter_) {
    diskWriter_->openExistingFile(fileEntry_->getLength());
    open_ = true;
  }
}

void DiskWriterEntry::closeFile() {
  if (open_) {
    diskWriter_->closeFile();
    open_ = false;
  }
}

bool DiskWriterEntry::fileExists() {
  return fileEntry_->exists();
}

int64_t DiskWriterEntry::size() const {
  return File(getFilePath()).size();
}

}  // namespace quarn
