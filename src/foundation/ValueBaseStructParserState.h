#pragma once

namespace quarn {

class ValueBaseStructParserStateMachine;

// What the next reader event means to the value-tree builder. Stateless: one shared
// instance per kind of state.
class ValueBaseStructParserState {
 public:
  virtual ~ValueBaseStructParserState() = default;
  virtual void beginElement(ValueBaseStructParserStateMachine*, int) {}
  virtual void endElement(ValueBaseStructParserStateMachine*, int) {}
};

}  // namespace quarn
