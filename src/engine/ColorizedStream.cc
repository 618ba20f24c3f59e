#include "engine/ColorizedStream.h"

namespace quarn {

namespace colors {

Color::Color(const char* code) : str_(std::string("\033[") + code + "m") {}

const Color black("30");
const Color red("31");
const Color green("32");
const Color yellow("33");
const Color blue("34");
const Color magenta("35");
const Color cyan("36");
const Color white("37");
const Color lightred("1;31");
const Color lightgreen("1;32");
const Color lightyellow("1;33");
const Color lightblue("1;34");
const Color lightmagenta("1;35");
const Color lightcyan("1;36");
const Color lightwhite("1;37");
const Color clear("0");

}  // namespace colors

ColorizedStreamBuf::ColorizedStreamBuf() {
  elems_.emplace_back(TYPE_STRING, "");
}

void ColorizedStreamBuf::setColor(const colors::Color& color) {
  elems_.emplace_back(TYPE_COLOR, color.str());
  elems_.emplace_back(TYPE_STRING, "");
}

void ColorizedStreamBuf::append(const std::string& str) {
  elems_.back().second += str;
}

ColorizedStreamBuf::int_type ColorizedStreamBuf::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) {
    return traits_type::not_eof(c);
  }
  elems_.back().second += traits_type::to_char_type(c);
  return c;
}

std::string ColorizedStreamBuf::str(bool color) const {
  std::string rv;
  for (const auto& [kind, text] : elems_) {
    if (kind == TYPE_STRING || color) {
      rv += text;
    }
  }
  if (color) {
    rv += colors::clear.str();
  }
  return rv;
}

std::string ColorizedStreamBuf::str(bool color, size_t max) const {
  std::string rv;
  for (const auto& [kind, text] : elems_) {
    if (kind == TYPE_COLOR) {
      if (color) {
        rv += text;
      }
      continue;
    }
    if (text.size() > max) {
      rv.append(text, 0, max);
      break;
    }
    rv += text;
    max -= text.size();
    if (max == 0) {
      break;
    }
  }
  if (color) {
    rv += colors::clear.str();
  }
  return rv;
}

ColorizedStream::ColorizedStream() : std::ostream(nullptr) {
  rdbuf(&buf_);
}

std::ostream& operator<<(std::ostream& stream, const colors::Color& color) {
  if (auto* cs = dynamic_cast<ColorizedStream*>(&stream)) {
    cs->setColor(color);
  } else {
    stream << color.str();
  }
  return stream;
}

}  // namespace quarn
