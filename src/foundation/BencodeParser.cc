#include "foundation/BencodeParser.h"

#include <algorithm>

#include "foundation/StructParserStateMachine.h"
#include "foundation/util_chars.h"
#include "foundation/util_number.h"

namespace quarn {
namespace bittorrent {

namespace {

// Bytes that may follow an integer's digits when it is written like a decimal or with an
// exponent; such an integer reads as 0.
bool isFloatChar(unsigned char c) {
  return c == '+' || c == '-' || c == '.' || c == 'E';
}

}  // namespace

BencodeParser::BencodeParser(StructParserStateMachine* psm)
    : psm_(psm),
      currentState_(BENCODE_INITIAL),
      strLength_(0),
      numberSign_(1),
      number_(0),
      numConsumed_(0),
      lastError_(0) {
  stack_.reserve(MAX_NESTING);
  stack_.push_back(STACK_TOP_LEVEL);
}

ssize_t BencodeParser::parseUpdate(const char* data, size_t size) {
  if (currentState_ == BENCODE_ERROR) {
    return lastError_;
  }
  size_t i = 0;
  while (i < size && currentState_ != BENCODE_FINISH) {
    ssize_t n = step(data + i, size - i);
    if (n < 0) {
      // A structure too deep also fails for good, so that a caller who keeps feeding can
      // never get a tree with the over-deep part left out.
      lastError_ = static_cast<int>(n);
      currentState_ = BENCODE_ERROR;
      return n;
    }
    i += n;
  }
  return i;
}

ssize_t BencodeParser::parseFinal(const char* data, size_t size) {
  ssize_t n = parseUpdate(data, size);
  if (n < 0) {
    return n;
  }
  if (currentState_ != BENCODE_FINISH && currentState_ != BENCODE_INITIAL) {
    return ERR_PREMATURE_DATA;
  }
  return n;
}

void BencodeParser::reset() {
  psm_->reset();
  currentState_ = BENCODE_INITIAL;
  lastError_ = 0;
  stack_.clear();
  stack_.push_back(STACK_TOP_LEVEL);
}

ssize_t BencodeParser::step(const char* data, size_t size) {
  unsigned char c = data[0];
  switch (currentState_) {
    case BENCODE_INITIAL:
    case BENCODE_VALUE:
      return readValue(c);
    case BENCODE_DICT_KEY:
      return readDictKey(c);
    case BENCODE_LIST:
      return readList(c);
    case BENCODE_STRING_LEN:
      return readStringLength(c);
    case BENCODE_STRING:
      return readString(data, size);
    case BENCODE_NUMBER_SIGN:
      return readNumberSign(c);
    case BENCODE_NUMBER:
      return readNumber(c);
    case BENCODE_FLOAT_NUMBER_IGNORE:
      return readFloatNumberIgnore(c);
    case BENCODE_FINISH:
    case BENCODE_ERROR:
      break;
  }
  return 0;
}

ssize_t BencodeParser::readValue(unsigned char c) {
  switch (c) {
    case 'l':
      currentState_ = BENCODE_LIST;
      psm_->beginElement(StructParserStateMachine::STRUCT_ARRAY_T);
      return 1;
    case 'i':
      numberSign_ = 1;
      number_ = 0;
      numConsumed_ = 0;
      currentState_ = BENCODE_NUMBER_SIGN;
      psm_->beginElement(StructParserStateMachine::STRUCT_NUMBER_T);
      return 1;
    case 'd':
      currentState_ = BENCODE_DICT_KEY;
      psm_->beginElement(StructParserStateMachine::STRUCT_DICT_T);
      return 1;
    default:
      break;
  }
  if (!util::isDigit(c)) {
    return ERR_UNEXPECTED_CHAR_BEFORE_VAL;
  }
  strLength_ = c - '0';
  numConsumed_ = 1;
  currentState_ = BENCODE_STRING_LEN;
  psm_->beginElement(StructParserStateMachine::STRUCT_STRING_T);
  return 1;
}

ssize_t BencodeParser::readDictKey(unsigned char c) {
  if (c == 'e') {
    psm_->endElement(StructParserStateMachine::STRUCT_DICT_T);
    onValueEnd();
    return 1;
  }
  if (stack_.size() >= MAX_NESTING) {
    return ERR_STRUCTURE_TOO_DEEP;
  }
  stack_.push_back(STACK_DICT_KEY);
  strLength_ = 0;
  numConsumed_ = 0;
  currentState_ = BENCODE_STRING_LEN;
  psm_->beginElement(StructParserStateMachine::STRUCT_DICT_KEY_T);
  return 0;
}

ssize_t BencodeParser::readList(unsigned char c) {
  if (c == 'e') {
    psm_->endElement(StructParserStateMachine::STRUCT_ARRAY_T);
    onValueEnd();
    return 1;
  }
  if (stack_.size() >= MAX_NESTING) {
    return ERR_STRUCTURE_TOO_DEEP;
  }
  stack_.push_back(STACK_LIST_ELEMENT);
  currentState_ = BENCODE_VALUE;
  psm_->beginElement(StructParserStateMachine::STRUCT_ARRAY_DATA_T);
  return 0;
}

ssize_t BencodeParser::readStringLength(unsigned char c) {
  if (util::isDigit(c)) {
    int digit = c - '0';
    if (util::decimalDigitOverflows(strLength_, digit)) {
      return ERR_STRING_LENGTH_OVERFLOW;
    }
    strLength_ = strLength_ * 10 + digit;
    ++numConsumed_;
    return 1;
  }
  if (c != ':' || numConsumed_ == 0) {
    return ERR_INVALID_STRING_LENGTH;
  }
  currentState_ = BENCODE_STRING;
  if (strLength_ == 0) {
    psm_->charactersCallback("", 0);
    onStringEnd();
  }
  return 1;
}

ssize_t BencodeParser::readString(const char* data, size_t size) {
  size_t n = static_cast<size_t>(std::min<uint64_t>(strLength_, size));
  psm_->charactersCallback(data, n);
  strLength_ -= n;
  if (strLength_ == 0) {
    onStringEnd();
  }
  return n;
}

ssize_t BencodeParser::readNumberSign(unsigned char c) {
  if (c == '-' || c == '+') {
    numberSign_ = c == '-' ? -1 : 1;
    currentState_ = BENCODE_NUMBER;
  } else if (util::isDigit(c)) {
    number_ = c - '0';
    numConsumed_ = 1;
    currentState_ = BENCODE_NUMBER;
  }
  return 1;
}

ssize_t BencodeParser::readNumber(unsigned char c) {
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
    return ERR_INVALID_NUMBER;
  }
  if (c == 'e') {
    onNumberEnd();
    return 1;
  }
  if (!isFloatChar(c)) {
    return ERR_INVALID_NUMBER;
  }
  number_ = 0;
  numConsumed_ = 0;
  currentState_ = BENCODE_FLOAT_NUMBER_IGNORE;
  return 1;
}

ssize_t BencodeParser::readFloatNumberIgnore(unsigned char c) {
  if (c == 'e') {
    onNumberEnd();
    return 1;
  }
  if (util::isDigit(c) || isFloatChar(c)) {
    return 1;
  }
  return ERR_INVALID_FLOAT_NUMBER;
}

void BencodeParser::onStringEnd() {
  psm_->endElement(stack_.back() == STACK_DICT_KEY ? StructParserStateMachine::STRUCT_DICT_KEY_T
                                                   : StructParserStateMachine::STRUCT_STRING_T);
  onValueEnd();
}

void BencodeParser::onNumberEnd() {
  psm_->numberCallback(numberSign_ * number_, 0, 0);
  psm_->endElement(StructParserStateMachine::STRUCT_NUMBER_T);
  onValueEnd();
}

void BencodeParser::onValueEnd() {
  switch (stack_.back()) {
    case STACK_TOP_LEVEL:
      currentState_ = BENCODE_FINISH;
      break;
    case STACK_DICT_KEY:
      stack_.pop_back();
      stack_.push_back(STACK_DICT_VALUE);
      currentState_ = BENCODE_VALUE;
      psm_->beginElement(StructParserStateMachine::STRUCT_DICT_DATA_T);
      break;
    case STACK_DICT_VALUE:
      psm_->endElement(StructParserStateMachine::STRUCT_DICT_DATA_T);
      stack_.pop_back();
      currentState_ = BENCODE_DICT_KEY;
      break;
    case STACK_LIST_ELEMENT:
      psm_->endElement(StructParserStateMachine::STRUCT_ARRAY_DATA_T);
      stack_.pop_back();
      currentState_ = BENCODE_LIST;
      break;
  }
}

}  // namespace bittorrent
}  // namespace quarn
