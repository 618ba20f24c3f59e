#pragma once

#include <deque>
#include <ostream>
#include <streambuf>
#include <string>
#include <utility>

namespace quarn {

namespace colors {

// An ANSI colour escape sequence.
class Color {
 public:
  explicit Color(const char* code);
  const std::string& str() const { return str_; }

 private:
  std::string str_;
};

extern const Color black;
extern const Color red;
extern const Color green;
extern const Color yellow;
extern const Color blue;
extern const Color magenta;
extern const Color cyan;
extern const Color white;
extern const Color lightred;
extern const Color lightgreen;
extern const Color lightyellow;
extern const Color lightblue;
extern const Color lightmagenta;
extern const Color lightcyan;
extern const Color lightwhite;
extern const Color clear;

}  // namespace colors

// Records text and colour changes apart, so that the text can be rendered with
// or without colour and cut to a width that does not count the escapes.
class ColorizedStreamBuf : public std::streambuf {
 public:
  ColorizedStreamBuf();

  void setColor(const colors::Color& color);
  void append(const std::string& str);
  std::string str(bool color) const;
  std::string str(bool color, size_t max) const;

 protected:
  int_type overflow(int_type c) override;

 private:
  enum PartKind { TYPE_COLOR = 0, TYPE_STRING = 1 };
  std::deque<std::pair<PartKind, std::string>> elems_;
};

class ColorizedStream : public std::ostream {
 public:
  ColorizedStream();

  std::string str(bool color) const { return buf_.str(color); }
  std::string str(bool color, size_t max) const { return buf_.str(color, max); }
  void setColor(const colors::Color& color) { buf_.setColor(color); }

 private:
  ColorizedStreamBuf buf_;
};

// Records a colour change in a ColorizedStream; any other stream gets the
// escape sequence itself.
std::ostream& operator<<(std::ostream& stream, const colors::Color& color);

}  // namespace quarn
