#include "foundation/util_content_disposition.h"

#include "foundation/util_chars.h"
#include "foundation/util_path.h"
#include "foundation/util_string.h"

namespace quarn {
namespace util {

const uint8_t utf8d[] = {
    // Byte classes.
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,  // 00..1f
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,  // 20..3f
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,  // 40..5f
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,  // 60..7f
    1,
    1,
    1,
    1,
    1,
    1,
    1,
    1,
    1,
    1,
    1,
    1,
    1,
    1,
    1,
    1,
    9,
    9,
    9,
    9,
    9,
    9,
    9,
    9,
    9,
    9,
    9,
    9,
    9,
    9,
    9,
    9,  // 80..9f
    7,
    7,
    7,
    7,
    7,
    7,
    7,
    7,
    7,
    7,
    7,
    7,
    7,
    7,
    7,
    7,
    7,
    7,
    7,
    7,
    7,
    7,
    7,
    7,
    7,
    7,
    7,
    7,
    7,
    7,
    7,
    7,  // a0..bf
    8,
    8,
    2,
    2,
    2,
    2,
    2,
    2,
    2,
    2,
    2,
    2,
    2,
    2,
    2,
    2,
    2,
    2,
    2,
    2,
    2,
    2,
    2,
    2,
    2,
    2,
    2,
    2,
    2,
    2,
    2,
    2,  // c0..df
    10,
    3,
    3,
    3,
    3,
    3,
    3,
    3,
    3,
    3,
    3,
    3,
    3,
    4,
    3,
    3,
    11,
    6,
    6,
    6,
    5,
    8,
    8,
    8,
    8,
    8,
    8,
    8,
    8,
    8,
    8,
    8,  // e0..ff
    // Transitions: state + class.
    0,
    12,
    24,
    36,
    60,
    96,
    84,
    12,
    12,
    12,
    48,
    72,
    12,
    12,
    12,
    12,
    12,
    12,
    12,
    12,
    12,
    12,
    12,
    12,
    12,
    0,
    12,
    12,
    12,
    12,
    12,
    0,
    12,
    0,
    12,
    12,
    12,
    24,
    12,
    12,
    12,
    12,
    12,
    24,
    12,
    24,
    12,
    12,
    12,
    12,
    12,
    12,
    12,
    12,
    12,
    24,
    12,
    12,
    12,
    12,
    12,
    24,
    12,
    12,
    12,
    12,
    12,
    12,
    12,
    24,
    12,
    12,
    12,
    12,
    12,
    12,
    12,
    12,
    12,
    36,
    12,
    36,
    12,
    12,
    12,
    36,
    12,
    12,
    12,
    12,
    12,
    36,
    12,
    36,
    12,
    12,
    12,
    36,
    12,
    12,
    12,
    12,
    12,
    12,
    12,
    12,
    12,
    12,
};

namespace {

enum State {
  CD_BEFORE_TYPE,
  CD_TYPE,
  CD_AFTER_TYPE,
  CD_BEFORE_NAME,
  CD_NAME,
  CD_AFTER_NAME,
  CD_BEFORE_VALUE,
  CD_TOKEN_VALUE,
  CD_QUOTED_VALUE,
  CD_AFTER_VALUE,
  CD_BEFORE_CHARSET,
  CD_CHARSET,
  CD_LANGUAGE,
  CD_VALUE_CHARS,
  CD_PCT_FIRST,
  CD_PCT_SECOND,
};

enum Charset { CHARSET_UTF8, CHARSET_ISO8859_1, CHARSET_OTHER };

enum FileParameter { FILE_NONE, FILE_PLAIN, FILE_EXTENDED };

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

uint32_t utf8Step(uint32_t state, unsigned char byte) {
  return utf8d[256 + state + utf8d[byte]];
}

class ContentDispositionParser {
 public:
  ContentDispositionParser(char* dest, size_t destlen, const char** charsetp, size_t* charsetlenp,
                           bool defaultUTF8)
      : dest_(dest),
        destlen_(destlen),
        charsetp_(charsetp),
        charsetlenp_(charsetlenp),
        defaultUTF8_(defaultUTF8) {}

  ssize_t parse(const char* in, size_t len) {
    for (const char* p = in; p != in + len; ++p) {
      if (!step(p)) {
        return -1;
      }
    }
    return finish();
  }

 private:
  bool step(const char* p) {
    const char c = *p;
    const unsigned char byte = static_cast<unsigned char>(c);
    switch (state_) {
      case CD_BEFORE_TYPE:
        if (isBlank(c)) {
          return true;
        }
        return inRFC2616HttpToken(c) && moveTo(CD_TYPE);
      case CD_TYPE:
        if (inRFC2616HttpToken(c)) {
          return true;
        }
        if (isBlank(c)) {
          state_ = CD_AFTER_TYPE;
          return true;
        }
        return c == ';' && moveTo(CD_BEFORE_NAME);
      case CD_AFTER_TYPE:
        if (isBlank(c)) {
          return true;
        }
        return c == ';' && moveTo(CD_BEFORE_NAME);
      case CD_BEFORE_NAME:
        if (isBlank(c)) {
          return true;
        }
        if (!inRFC2616HttpToken(c)) {
          return false;
        }
        nameFirst_ = p;
        state_ = CD_NAME;
        return true;
      case CD_NAME:
        if (inRFC2616HttpToken(c)) {
          return true;
        }
        if (isBlank(c)) {
          nameLast_ = p;
          state_ = CD_AFTER_NAME;
          return true;
        }
        if (c != '=') {
          return false;
        }
        nameLast_ = p;
        return decideByName();
      case CD_AFTER_NAME:
        if (isBlank(c)) {
          return true;
        }
        return c == '=' && decideByName();
      case CD_BEFORE_VALUE:
        if (c == '"') {
          if (defaultUTF8_) {
            utf8state_ = UTF8_ACCEPT;
          }
          quotedPair_ = false;
          state_ = CD_QUOTED_VALUE;
          return true;
        }
        if (inRFC2616HttpToken(c)) {
          state_ = CD_TOKEN_VALUE;
          return store(c);
        }
        return isBlank(c);
      case CD_TOKEN_VALUE:
        if (inRFC2616HttpToken(c)) {
          return store(c);
        }
        if (isBlank(c) || c == ';') {
          completeParameter();
          state_ = c == ';' ? CD_BEFORE_NAME : CD_AFTER_VALUE;
          return true;
        }
        return false;
      case CD_QUOTED_VALUE:
        return readQuoted(c, byte);
      case CD_AFTER_VALUE:
        if (isBlank(c)) {
          return true;
        }
        return c == ';' && moveTo(CD_BEFORE_NAME);
      case CD_BEFORE_CHARSET:
        if (isBlank(c)) {
          return true;
        }
        if (c == '\'' || !inRFC2978MIMECharset(c)) {
          return false;
        }
        charsetFirst_ = p;
        state_ = CD_CHARSET;
        return true;
      case CD_CHARSET:
        if (c == '\'') {
          endCharset(p);
          state_ = CD_LANGUAGE;
          return true;
        }
        return inRFC2978MIMECharset(c);
      case CD_LANGUAGE:
        if (c == '\'') {
          if (fileParameter_ != FILE_NONE) {
            used_ = 0;
          }
          state_ = CD_VALUE_CHARS;
          return true;
        }
        return isAlpha(c) || isDigit(c) || c == '-';
      case CD_VALUE_CHARS:
        return readValueChar(c, byte);
      case CD_PCT_FIRST:
        if (!isHexDigit(c)) {
          return false;
        }
        pctHigh_ = hexCharToUInt(byte);
        state_ = CD_PCT_SECOND;
        return true;
      case CD_PCT_SECOND: {
        if (!isHexDigit(c)) {
          return false;
        }
        unsigned char decoded = static_cast<unsigned char>(pctHigh_ << 4 | hexCharToUInt(byte));
        if (!checkExtendedByte(decoded)) {
          return false;
        }
        state_ = CD_VALUE_CHARS;
        return store(static_cast<char>(decoded));
      }
    }
    return false;
  }

  bool moveTo(State state) {
    state_ = state;
    return true;
  }

  bool readQuoted(char c, unsigned char byte) {
    if (!quotedPair_ && c == '\\') {
      quotedPair_ = true;
      return true;
    }
    if (!quotedPair_ && c == '"') {
      if (defaultUTF8_ && utf8state_ != UTF8_ACCEPT) {
        return false;
      }
      completeParameter();
      state_ = CD_AFTER_VALUE;
      return true;
    }
    quotedPair_ = false;
    if (defaultUTF8_) {
      utf8state_ = utf8Step(utf8state_, byte);
      if (utf8state_ == UTF8_REJECT) {
        return false;
      }
    } else if (!isIso8859p1(byte)) {
      return false;
    }
    return store(c);
  }

  bool readValueChar(char c, unsigned char byte) {
    if (c == '%') {
      if (fileParameter_ != FILE_NONE && used_ == destlen_) {
        return false;
      }
      state_ = CD_PCT_FIRST;
      return true;
    }
    if (c == '\'' || c == '*') {
      return false;
    }
    if (inRFC2616HttpToken(c)) {
      if (charset_ == CHARSET_UTF8) {
        utf8state_ = utf8Step(utf8state_, byte);
        if (utf8state_ == UTF8_REJECT) {
          return false;
        }
      }
      return store(c);
    }
    if (isBlank(c) || c == ';') {
      if (charset_ == CHARSET_UTF8 && utf8state_ != UTF8_ACCEPT) {
        return false;
      }
      completeParameter();
      state_ = c == ';' ? CD_BEFORE_NAME : CD_AFTER_VALUE;
      return true;
    }
    return false;
  }

  bool checkExtendedByte(unsigned char byte) {
    switch (charset_) {
      case CHARSET_ISO8859_1:
        return isIso8859p1(byte);
      case CHARSET_UTF8:
        utf8state_ = utf8Step(utf8state_, byte);
        return utf8state_ != UTF8_REJECT;
      case CHARSET_OTHER:
        break;
    }
    return true;
  }

  bool decideByName() {
    if (strieq(nameFirst_, nameLast_, "filename*")) {
      if (extendedCompleted_) {
        return false;
      }
      fileParameter_ = FILE_EXTENDED;
      used_ = 0;
      state_ = CD_BEFORE_CHARSET;
      return true;
    }
    if (strieq(nameFirst_, nameLast_, "filename")) {
      if (plainCompleted_) {
        return false;
      }
      fileParameter_ = extendedCompleted_ ? FILE_NONE : FILE_PLAIN;
      if (fileParameter_ != FILE_NONE) {
        used_ = 0;
      }
      state_ = CD_BEFORE_VALUE;
      return true;
    }
    fileParameter_ = FILE_NONE;
    state_ =
        nameLast_ - nameFirst_ > 1 && nameLast_[-1] == '*' ? CD_BEFORE_CHARSET : CD_BEFORE_VALUE;
    return true;
  }

  void endCharset(const char* last) {
    if (fileParameter_ != FILE_NONE) {
      *charsetp_ = charsetFirst_;
      *charsetlenp_ = last - charsetFirst_;
    }
    if (strieq(charsetFirst_, last, "utf-8")) {
      charset_ = CHARSET_UTF8;
      utf8state_ = UTF8_ACCEPT;
    } else if (strieq(charsetFirst_, last, "iso-8859-1")) {
      charset_ = CHARSET_ISO8859_1;
    } else {
      charset_ = CHARSET_OTHER;
    }
  }

  bool store(char c) {
    if (fileParameter_ == FILE_NONE) {
      return true;
    }
    if (used_ == destlen_) {
      return false;
    }
    dest_[used_++] = c;
    return true;
  }

  void completeParameter() {
    if (fileParameter_ == FILE_PLAIN) {
      plainCompleted_ = true;
    } else if (fileParameter_ == FILE_EXTENDED) {
      extendedCompleted_ = true;
    }
    fileParameter_ = FILE_NONE;
  }

  ssize_t finish() const {
    switch (state_) {
      case CD_BEFORE_TYPE:
      case CD_TYPE:
      case CD_AFTER_TYPE:
      case CD_AFTER_VALUE:
      case CD_TOKEN_VALUE:
        return used_;
      case CD_VALUE_CHARS:
        if (charset_ == CHARSET_UTF8 && utf8state_ != UTF8_ACCEPT) {
          return -1;
        }
        return used_;
      default:
        return -1;
    }
  }

  char* dest_;
  size_t destlen_;
  const char** charsetp_;
  size_t* charsetlenp_;
  bool defaultUTF8_;

  State state_ = CD_BEFORE_TYPE;
  size_t used_ = 0;
  FileParameter fileParameter_ = FILE_NONE;
  bool plainCompleted_ = false;
  bool extendedCompleted_ = false;
  Charset charset_ = CHARSET_OTHER;
  uint32_t utf8state_ = UTF8_ACCEPT;
  bool quotedPair_ = false;
  unsigned int pctHigh_ = 0;
  const char* nameFirst_ = nullptr;
  const char* nameLast_ = nullptr;
  const char* charsetFirst_ = nullptr;
};

}  // namespace

ssize_t parse_content_disposition(char* dest, size_t destlen, const char** charsetp,
                                  size_t* charsetlenp, const char* in, size_t len,
                                  bool defaultUTF8) {
  *charsetp = nullptr;
  *charsetlenp = 0;
  if (len == 0) {
    return 0;
  }
  return ContentDispositionParser(dest, destlen, charsetp, charsetlenp, defaultUTF8).parse(in, len);
}

std::string getContentDispositionFilename(const std::string& header, bool defaultUTF8) {
  char buf[1024];
  const char* charset;
  size_t charsetLength;
  ssize_t r = parse_content_disposition(buf, sizeof(buf), &charset, &charsetLength, header.data(),
                                        header.size(), defaultUTF8);
  if (r == -1) {
    return std::string();
  }
  bool fromLatin1 = charset ? strieq(charset, charset + charsetLength, "iso-8859-1") : !defaultUTF8;
  std::string name = fromLatin1 ? iso8859p1ToUtf8(reinterpret_cast<const unsigned char*>(buf), r)
                                : std::string(buf, r);
  if (detectDirTraversal(name) || name.find_first_of("/\\") != std::string::npos) {
    return std::string();
  }
  return name;
}

}  // namespace util
}  // namespace quarn
