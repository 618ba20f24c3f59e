#include "foundation/File.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "foundation/Logger.h"
#include "foundation/fmt.h"
#include "foundation/util_string.h"

namespace quarn {

File::File(const std::string& name) : name_(name) {}

int File::fillStat(struct stat& fstat) const {
  return stat(name_.c_str(), &fstat);
}

bool File::exists() const {
  struct stat fstat;
  return fillStat(fstat) == 0;
}

bool File::exists(std::string& errorText) const {
  struct stat fstat;
  if (fillStat(fstat) == 0) {
    return true;
  }
  errorText = fmt("Could not get file status: %s", util::safeStrerror(errno).c_str());
  return false;
}

bool File::isFile() const {
  struct stat fstat;
  return fillStat(fstat) == 0 && S_ISREG(fstat.st_mode);
}

bool File::isDir() const {
  return isDir(name_);
}

bool File::isDir(const std::string& filename) {
  struct stat fstat;
  return stat(filename.c_str(), &fstat) == 0 && S_ISDIR(fstat.st_mode);
}

bool File::remove() {
  if (isFile()) {
    return unlink(name_.c_str()) == 0;
  }
  if (isDir()) {
    return rmdir(name_.c_str()) == 0;
  }
  return false;
}

int64_t File::size() const {
  struct stat fstat;
  return fillStat(fstat) == 0 ? fstat.st_size : 0;
}

mode_t File::mode() const {
  struct stat fstat;
  return fillStat(fstat) == 0 ? fstat.st_mode : 0;
}

bool File::mkdirs() {
  if (isDir()) {
    return false;
  }
  size_t start = 0;
  while (start < name_.size()) {
    size_t slash = name_.find('/', start);
    size_t end = slash == std::string::npos ? name_.size() : slash;
    if (end == start) {
      start = end + 1;
      continue;
    }
    std::string dir = name_.substr(0, end);
    QLOG_DEBUG(fmt("Making directory %s", dir.c_str()));
    if (isDir(dir)) {
      QLOG_DEBUG(fmt("%s exists and is a directory.", dir.c_str()));
    } else if (mkdir(dir.c_str(), 0777) == -1) {
      QLOG_DEBUG(fmt("Failed to create %s", dir.c_str()));
      return false;
    }
    start = end + 1;
  }
  return true;
}

std::string File::getBasename() const {
  size_t lastSlash = name_.rfind('/');
  if (lastSlash == std::string::npos) {
    return name_;
  }
  return name_.substr(lastSlash + 1);
}

std::string File::getDirname() const {
  size_t lastSlash = name_.rfind('/');
  if (lastSlash == std::string::npos) {
    return name_.empty() ? std::string() : std::string(".");
  }
  if (lastSlash == 0) {
    return "/";
  }
  return name_.substr(0, lastSlash);
}

const std::string& File::getPathSeparators() {
  static const std::string separators = "/";
  return separators;
}

bool File::renameTo(const std::string& dest) {
  if (rename(name_.c_str(), dest.c_str()) == 0) {
    name_ = dest;
    return true;
  }
  return false;
}

bool File::utime(const Time& actime, const Time& modtime) const {
  struct timespec times[2] = {{actime.getTimeFromEpoch(), 0}, {modtime.getTimeFromEpoch(), 0}};
  return utimensat(AT_FDCWD, name_.c_str(), times, 0) == 0;
}

Time File::getModifiedTime() const {
  struct stat fstat;
  if (fillStat(fstat) != 0) {
    return Time(0);
  }
  return Time(fstat.st_mtime);
}

std::string File::getCurrentDir() {
  char buf[2048];
  if (getcwd(buf, sizeof(buf))) {
    return buf;
  }
  return ".";
}

}  // namespace quarn
