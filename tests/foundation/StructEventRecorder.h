#pragma once

#include <string>

#include "foundation/StructParserStateMachine.h"

namespace quarn {

// Writes the events a reader sends as one text, joining the pieces of a string so that
// the record does not depend on how the input was cut.
class StructEventRecorder : public StructParserStateMachine {
 public:
  void beginElement(int kind) override {
    flush();
    log_ += "<" + std::to_string(kind);
  }
  void endElement(int kind) override {
    flush();
    log_ += ">" + std::to_string(kind);
  }
  void reset() override {
    log_.clear();
    chars_.clear();
    inChars_ = false;
    log_ += "R";
  }
  void charactersCallback(const char* data, size_t length) override {
    chars_.append(data, length);
    inChars_ = true;
  }
  void numberCallback(int64_t number, int fraction, int exponent) override {
    flush();
    log_ += "#" + std::to_string(number) + "." + std::to_string(fraction) + "e" +
            std::to_string(exponent);
  }
  void boolCallback(bool value) override {
    flush();
    log_ += value ? "T" : "F";
  }
  std::string log() {
    flush();
    return log_;
  }

 private:
  void flush() {
    if (inChars_) {
      log_ += "'" + chars_ + "'";
      chars_.clear();
      inChars_ = false;
    }
  }

  std::string log_;
  std::string chars_;
  bool inChars_ = false;
};

}  // namespace quarn
