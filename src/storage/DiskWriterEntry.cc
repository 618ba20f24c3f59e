#include "storage/DiskWriterEntry.h"

#include "foundation/File.h"
#include "storage/FileEntry.h"

namespace quarn {

DiskWriterEntry::DiskWriterEntry(std::shared_ptr<FileEntry> fileEntry)
    : fileEntry_(std::move(fileEntry)),
      open_(false),
      needsFileAllocation_(false),
      needsDiskWriter_(false) {}

const std::string& DiskWriterEntry::getFilePath() const {
  return fileEntry_->getPath();
}

void DiskWriterEntry::openWith(void (DiskWriter::*open)(int64_t)) {
  if (diskWriter_) {
    (diskWriter_.get()->*open)(fileEntry_->getLength());
    open_ = true;
  }
}

void DiskWriterEntry::initAndOpenFile() {
  openWith(&DiskWriter::initAndOpenFile);
}

void DiskWriterEntry::openFile() {
  openWith(&DiskWriter::openFile);
}

void DiskWriterEntry::openExistingFile() {
  openWith(&DiskWriter::openExistingFile);
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
