#pragma once

#include <string>

namespace quarn {

// A detached signature of a file, kept so that it can be written beside the
// finished download. It is never verified here.
class Signature {
 public:
  const std::string& getType() const { return type_; }
  void setType(std::string type) { type_ = std::move(type); }
  const std::string& getFile() const { return file_; }
  void setFile(std::string file) { file_ = std::move(file); }
  const std::string& getBody() const { return body_; }
  void setBody(std::string body) { body_ = std::move(body); }

  // Writes the body to path unless a file is already there; false when the
  // file exists or cannot be written.
  bool save(const std::string& path) const;

 private:
  std::string type_;
  std::string file_;
  std::string body_;
};

}  // namespace quarn
