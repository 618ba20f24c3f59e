#include "foundation/JsonParser.h"

#include <cstring>

#include "foundation/StructParserStateMachine.h"
#include "foundation/util_chars.h"
#include "foundation/util_number.h"

namespace quarn {
namespace json {

namespace {

bool isWhitespace(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Adds one digit to the code point of a \u escape; false for a byte that is no
// hexadecimal digit.
bool addHexDigit(uint16_t& codePoint, unsigned char c) {
  unsigned int value = util::hexCharToUInt(c);
  if (value == 255) {
    return false;
  }
  codePoint = static_cast<uint16_t>(codePoint * 16 + value);
  return true;
}

constexpr int64_t MAX_FRACTION_BEFORE_DIGIT = 99999999;
constexpr int32_t MAX_EXPONENT = 18;

}  // namespace

JsonParser::JsonParser(StructParserStateMachine* psm) : psm_(psm) {
  stack_.reserve(MAX_NESTING);
  stack_.push_back(STACK_TOP_LEVEL);
  currentState_ = JSON_VALUE;
  codePoint_ = 0;
  codePoint2_ = 0;
  numberSign_ = 1;
  number_ = 0;
  frac_ = 0;
  expSign_ = 1;
  exp_ = 0;
  numConsumed_ = 0;
  lastError_ = 0;
}

ssize_t JsonParser::parseUpdate(const char* data, size_t size) {
  if (currentState_ == JSON_ERROR) {
    return lastError_;
  }
  size_t i = 0;
  while (i < size && currentState_ != JSON_FINISH) {
    ssize_t n = step(data + i, size - i);
    if (n < 0) {
      // A structure too deep also fails for good, so that a caller who keeps feeding can
      // never get a tree with the over-deep part left out.
      lastError_ = static_cast<int>(n);
      currentState_ = JSON_ERROR;
      return n;
    }
    i += n;
  }
  return i;
}

ssize_t JsonParser::parseFinal(const char* data, size_t size) {
  ssize_t n = parseUpdate(data, size);
  if (n < 0) {
    return n;
  }
  if (currentState_ != JSON_FINISH) {
    return ERR_PREMATURE_DATA;
  }
  return n;
}

void JsonParser::reset() {
  psm_->reset();
  currentState_ = JSON_VALUE;
  lastError_ = 0;
  stack_.clear();
  stack_.push_back(STACK_TOP_LEVEL);
}

ssize_t JsonParser::step(const char* data, size_t size) {
  unsigned char c = data[0];
  switch (currentState_) {
    case JSON_VALUE:
      return readValue(c);
    case JSON_OBJECT_KEY:
      return readObjectKey(c);
    case JSON_OBJECT_NAME_SEP:
      return readObjectNameSep(c);
    case JSON_OBJECT_VALUE_SEP:
      return readObjectValueSep(c);
    case JSON_ARRAY:
      return readArray(c);
    case JSON_ARRAY_VALUE_SEP:
      return readArrayValueSep(c);
    case JSON_STRING:
      return readString(data, size);
    case JSON_STRING_ESCAPE:
      return readEscape(c);
    case JSON_STRING_UNICODE:
      return readUnicode(c);
    case JSON_STRING_LOW_SURROGATE_ESCAPE:
      if (c != '\\') {
        return ERR_INVALID_UNICODE_POINT;
      }
      currentState_ = JSON_STRING_LOW_SURROGATE_U;
      return 1;
    case JSON_STRING_LOW_SURROGATE_U:
      if (c != 'u') {
        return ERR_INVALID_UNICODE_POINT;
      }
      codePoint2_ = 0;
      numConsumed_ = 0;
      currentState_ = JSON_STRING_LOW_SURROGATE;
      return 1;
    case JSON_STRING_LOW_SURROGATE:
      return readLowSurrogate(c);
    case JSON_NUMBER:
      return readNumber(c);
    case JSON_NUMBER_FRACTION:
      return readFraction(c);
    case JSON_NUMBER_EXPONENT_SIGN:
      return readExponentSign(c);
    case JSON_NUMBER_EXPONENT:
      return readExponent(c);
    case JSON_TRUE:
      return readLiteral(c, "true", 4);
    case JSON_FALSE:
      return readLiteral(c, "false", 5);
    case JSON_NULL:
      return readLiteral(c, "null", 4);
    case JSON_FINISH:
    case JSON_ERROR:
      break;
  }
  return 0;
}

ssize_t JsonParser::readValue(unsigned char c) {
  if (isWhitespace(c)) {
    return 1;
  }
  switch (c) {
    case '"':
      currentState_ = JSON_STRING;
      psm_->beginElement(StructParserStateMachine::STRUCT_STRING_T);
      return 1;
    case '[':
      currentState_ = JSON_ARRAY;
      psm_->beginElement(StructParserStateMachine::STRUCT_ARRAY_T);
      return 1;
    case '{':
      currentState_ = JSON_OBJECT_KEY;
      psm_->beginElement(StructParserStateMachine::STRUCT_DICT_T);
      return 1;
    case 't':
    case 'f':
    case 'n':
      numConsumed_ = 1;
      currentState_ = c == 't' ? JSON_TRUE : c == 'f' ? JSON_FALSE : JSON_NULL;
      psm_->beginElement(c == 'n' ? StructParserStateMachine::STRUCT_NULL_T
                                  : StructParserStateMachine::STRUCT_BOOL_T);
      return 1;
    default:
      break;
  }
  if (c == '-' || util::isDigit(c)) {
    numberSign_ = c == '-' ? -1 : 1;
    number_ = c == '-' ? 0 : c - '0';
    numConsumed_ = c == '-' ? 0 : 1;
    frac_ = 0;
    expSign_ = 1;
    exp_ = 0;
    currentState_ = JSON_NUMBER;
    psm_->beginElement(StructParserStateMachine::STRUCT_NUMBER_T);
    return 1;
  }
  return ERR_UNEXPECTED_CHAR_BEFORE_VAL;
}

ssize_t JsonParser::readObjectKey(unsigned char c) {
  if (isWhitespace(c)) {
    return 1;
  }
  if (c == '}') {
    psm_->endElement(StructParserStateMachine::STRUCT_DICT_T);
    onValueEnd();
    return 1;
  }
  if (c != '"') {
    return ERR_INVALID_OBJECT_KEY;
  }
  if (stack_.size() >= MAX_NESTING) {
    return ERR_STRUCTURE_TOO_DEEP;
  }
  stack_.push_back(STACK_MEMBER_NAME);
  currentState_ = JSON_STRING;
  psm_->beginElement(StructParserStateMachine::STRUCT_DICT_KEY_T);
  return 1;
}

ssize_t JsonParser::readObjectNameSep(unsigned char c) {
  if (isWhitespace(c)) {
    return 1;
  }
  if (c != ':') {
    return ERR_UNEXPECTED_CHAR_AFTER_NAME;
  }
  stack_.push_back(STACK_MEMBER_VALUE);
  currentState_ = JSON_VALUE;
  psm_->beginElement(StructParserStateMachine::STRUCT_DICT_DATA_T);
  return 1;
}

ssize_t JsonParser::readObjectValueSep(unsigned char c) {
  if (isWhitespace(c)) {
    return 1;
  }
  if (c == '}') {
    psm_->endElement(StructParserStateMachine::STRUCT_DICT_T);
    onValueEnd();
    return 1;
  }
  if (c != ',') {
    return ERR_UNEXPECTED_CHAR_AFTER_MEMBER;
  }
  currentState_ = JSON_OBJECT_KEY;
  return 1;
}

ssize_t JsonParser::readArray(unsigned char c) {
  if (isWhitespace(c)) {
    return 1;
  }
  if (c == ']') {
    psm_->endElement(StructParserStateMachine::STRUCT_ARRAY_T);
    onValueEnd();
    return 1;
  }
  if (stack_.size() >= MAX_NESTING) {
    return ERR_STRUCTURE_TOO_DEEP;
  }
  stack_.push_back(STACK_ARRAY_ELEMENT);
  currentState_ = JSON_VALUE;
  psm_->beginElement(StructParserStateMachine::STRUCT_ARRAY_DATA_T);
  return 0;
}

ssize_t JsonParser::readArrayValueSep(unsigned char c) {
  if (isWhitespace(c)) {
    return 1;
  }
  if (c == ']') {
    psm_->endElement(StructParserStateMachine::STRUCT_ARRAY_T);
    onValueEnd();
    return 1;
  }
  if (c != ',') {
    return ERR_UNEXPECTED_CHAR_AFTER_ELEMENT;
  }
  stack_.push_back(STACK_ARRAY_ELEMENT);
  currentState_ = JSON_VALUE;
  psm_->beginElement(StructParserStateMachine::STRUCT_ARRAY_DATA_T);
  return 1;
}

ssize_t JsonParser::readString(const char* data, size_t size) {
  if (data[0] == '"') {
    onStringEnd();
    return 1;
  }
  if (data[0] == '\\') {
    currentState_ = JSON_STRING_ESCAPE;
    return 1;
  }
  size_t run = 1;
  while (run < size && data[run] != '"' && data[run] != '\\') {
    ++run;
  }
  psm_->charactersCallback(data, run);
  return run;
}

ssize_t JsonParser::readEscape(unsigned char c) {
  char byte;
  switch (c) {
    case 'u':
      codePoint_ = 0;
      numConsumed_ = 0;
      currentState_ = JSON_STRING_UNICODE;
      return 1;
    case 'b':
      byte = '\b';
      break;
    case 'f':
      byte = '\f';
      break;
    case 'n':
      byte = '\n';
      break;
    case 'r':
      byte = '\r';
      break;
    case 't':
      byte = '\t';
      break;
    default:
      byte = static_cast<char>(c);
      break;
  }
  psm_->charactersCallback(&byte, 1);
  currentState_ = JSON_STRING;
  return 1;
}

ssize_t JsonParser::readUnicode(unsigned char c) {
  if (!addHexDigit(codePoint_, c)) {
    return ERR_INVALID_UNICODE_POINT;
  }
  if (++numConsumed_ < 4) {
    return 1;
  }
  if (codePoint_ >= 0xD800 && codePoint_ <= 0xDBFF) {
    currentState_ = JSON_STRING_LOW_SURROGATE_ESCAPE;
  } else {
    emitCodePoint(codePoint_);
    currentState_ = JSON_STRING;
  }
  return 1;
}

ssize_t JsonParser::readLowSurrogate(unsigned char c) {
  if (!addHexDigit(codePoint2_, c)) {
    return ERR_INVALID_UNICODE_POINT;
  }
  if (++numConsumed_ < 4) {
    return 1;
  }
  if (codePoint2_ < 0xDC00 || codePoint2_ > 0xDFFF) {
    return ERR_INVALID_UNICODE_POINT;
  }
  emitCodePoint(0x10000u + ((codePoint_ & 0x3FFu) << 10) + (codePoint2_ & 0x3FFu));
  currentState_ = JSON_STRING;
  return 1;
}

void JsonParser::emitCodePoint(uint32_t cp) {
  char buf[4];
  size_t length;
  if (cp < 0x80) {
    buf[0] = static_cast<char>(cp);
    length = 1;
  } else if (cp < 0x800) {
    buf[0] = static_cast<char>(0xC0 | (cp >> 6));
    buf[1] = static_cast<char>(0x80 | (cp & 0x3F));
    length = 2;
  } else if (cp < 0x10000) {
    buf[0] = static_cast<char>(0xE0 | (cp >> 12));
    buf[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    buf[2] = static_cast<char>(0x80 | (cp & 0x3F));
    length = 3;
  } else {
    buf[0] = static_cast<char>(0xF0 | (cp >> 18));
    buf[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    buf[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    buf[3] = static_cast<char>(0x80 | (cp & 0x3F));
    length = 4;
  }
  psm_->charactersCallback(buf, length);
}

ssize_t JsonParser::readNumber(unsigned char c) {
  if (util::isDigit(c)) {
    int digit = c - '0';
    if (util::decimalDigitOverflows(number_, digit)) {
      return ERR_NUMBER_OVERFLOW;
    }
    number_ = number_ * 10 + digit;
    ++numConsumed_;
    return 1;
  }
  if (numConsumed_ == 0) {
    return ERR_NUMBER_MISSING_DIGITS;
  }
  if (c == 'e' || c == 'E') {
    expSign_ = 1;
    exp_ = 0;
    numConsumed_ = 0;
    currentState_ = JSON_NUMBER_EXPONENT_SIGN;
    return 1;
  }
  if (c == '.') {
    frac_ = 0;
    numConsumed_ = 0;
    currentState_ = JSON_NUMBER_FRACTION;
    return 1;
  }
  onNumberEnd();
  return 0;
}

ssize_t JsonParser::readFraction(unsigned char c) {
  if (util::isDigit(c)) {
    if (frac_ <= MAX_FRACTION_BEFORE_DIGIT) {
      frac_ = frac_ * 10 + (c - '0');
    }
    ++numConsumed_;
    return 1;
  }
  if (numConsumed_ == 0) {
    return ERR_NUMBER_MISSING_DIGITS;
  }
  if (c == 'e' || c == 'E') {
    expSign_ = 1;
    exp_ = 0;
    numConsumed_ = 0;
    currentState_ = JSON_NUMBER_EXPONENT_SIGN;
    return 1;
  }
  onNumberEnd();
  return 0;
}

ssize_t JsonParser::readExponentSign(unsigned char c) {
  currentState_ = JSON_NUMBER_EXPONENT;
  if (c == '-') {
    expSign_ = -1;
    return 1;
  }
  return c == '+' ? 1 : 0;
}

ssize_t JsonParser::readExponent(unsigned char c) {
  if (util::isDigit(c)) {
    exp_ = exp_ * 10 + (c - '0');
    if (exp_ > MAX_EXPONENT) {
      return ERR_NUMBER_OVERFLOW;
    }
    ++numConsumed_;
    return 1;
  }
  if (numConsumed_ == 0) {
    return ERR_NUMBER_MISSING_DIGITS;
  }
  onNumberEnd();
  return 0;
}

ssize_t JsonParser::readLiteral(unsigned char c, const char* literal, size_t length) {
  if (c != static_cast<unsigned char>(literal[numConsumed_])) {
    return ERR_UNEXPECTED_LITERAL;
  }
  if (++numConsumed_ == length) {
    onLiteralEnd();
  }
  return 1;
}

void JsonParser::onStringEnd() {
  psm_->endElement(stack_.back() == STACK_MEMBER_NAME ? StructParserStateMachine::STRUCT_DICT_KEY_T
                                                      : StructParserStateMachine::STRUCT_STRING_T);
  onValueEnd();
}

void JsonParser::onNumberEnd() {
  psm_->numberCallback(numberSign_ * number_, frac_, expSign_ * exp_);
  psm_->endElement(StructParserStateMachine::STRUCT_NUMBER_T);
  onValueEnd();
}

void JsonParser::onLiteralEnd() {
  switch (currentState_) {
    case JSON_TRUE:
    case JSON_FALSE:
      psm_->boolCallback(currentState_ == JSON_TRUE);
      psm_->endElement(StructParserStateMachine::STRUCT_BOOL_T);
      break;
    default:
      psm_->endElement(StructParserStateMachine::STRUCT_NULL_T);
      break;
  }
  onValueEnd();
}

void JsonParser::onValueEnd() {
  switch (stack_.back()) {
    case STACK_TOP_LEVEL:
      currentState_ = JSON_FINISH;
      break;
    case STACK_MEMBER_NAME:
      stack_.pop_back();
      currentState_ = JSON_OBJECT_NAME_SEP;
      break;
    case STACK_MEMBER_VALUE:
      psm_->endElement(StructParserStateMachine::STRUCT_DICT_DATA_T);
      stack_.pop_back();
      currentState_ = JSON_OBJECT_VALUE_SEP;
      break;
    case STACK_ARRAY_ELEMENT:
      psm_->endElement(StructParserStateMachine::STRUCT_ARRAY_DATA_T);
      stack_.pop_back();
      currentState_ = JSON_ARRAY_VALUE_SEP;
      break;
  }
}

}  // namespace json
}  // namespace quarn
