#pragma once

#include "foundation/ValueBaseStructParserState.h"

// The builder's states are small enough to sit together.
namespace quarn {

class ValueValueBaseStructParserState : public ValueBaseStructParserState {
 public:
  void beginElement(ValueBaseStructParserStateMachine* psm, int elementType) override;
};

class DictValueBaseStructParserState : public ValueBaseStructParserState {
 public:
  void beginElement(ValueBaseStructParserStateMachine* psm, int elementType) override;
};

class DictKeyValueBaseStructParserState : public ValueBaseStructParserState {
 public:
  void endElement(ValueBaseStructParserStateMachine* psm, int elementType) override;
};

class DictDataValueBaseStructParserState : public ValueValueBaseStructParserState {
 public:
  void endElement(ValueBaseStructParserStateMachine* psm, int elementType) override;
};

class ArrayValueBaseStructParserState : public ValueBaseStructParserState {
 public:
  void beginElement(ValueBaseStructParserStateMachine* psm, int elementType) override;
};

class ArrayDataValueBaseStructParserState : public ValueValueBaseStructParserState {
 public:
  void endElement(ValueBaseStructParserStateMachine* psm, int elementType) override;
};

class StringValueBaseStructParserState : public ValueBaseStructParserState {
 public:
  void endElement(ValueBaseStructParserStateMachine* psm, int elementType) override;
};

class NumberValueBaseStructParserState : public ValueBaseStructParserState {
 public:
  void endElement(ValueBaseStructParserStateMachine* psm, int elementType) override;
};

class BoolValueBaseStructParserState : public ValueBaseStructParserState {
 public:
  void endElement(ValueBaseStructParserStateMachine* psm, int elementType) override;
};

class NullValueBaseStructParserState : public ValueBaseStructParserState {
 public:
  void endElement(ValueBaseStructParserStateMachine* psm, int elementType) override;
};

}  // namespace quarn
