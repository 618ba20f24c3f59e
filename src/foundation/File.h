#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>

#include "foundation/Time.h"

namespace quarn {

// One path and the questions the file system answers about it. Nothing here
// raises; failures show in the return values.
class File {
 public:
  explicit File(const std::string& name);

  int fillStat(struct stat& fstat) const;
  bool exists() const;
  // On failure errorText says why.
  bool exists(std::string& errorText) const;
  bool isFile() const;
  bool isDir() const;
  static bool isDir(const std::string& filename);
  // Unlinks a regular file or removes an empty directory.
  bool remove();
  int64_t size() const;
  mode_t mode() const;
  // Creates every missing directory along the path; false when the path already
  // was a directory or one could not be made.
  bool mkdirs();
  std::string getBasename() const;
  std::string getDirname() const;
  const std::string& getPath() const { return name_; }
  static const std::string& getPathSeparators();
  bool renameTo(const std::string& dest);
  bool utime(const Time& actime, const Time& modtime) const;
  Time getModifiedTime() const;
  static std::string getCurrentDir();

 private:
  std::string name_;
};

}  // namespace quarn
