#pragma once

#include <cstdint>
#include <memory>
#include <stack>
#include <string>

#include "foundation/StructParserStateMachine.h"
#include "foundation/ValueBase.h"
#include "foundation/XmlRpcRequestParserController.h"

namespace quarn {

class ValueBaseStructParserState;

// Builds a value tree from the events of a JSON or bencode reader.
class ValueBaseStructParserStateMachine : public StructParserStateMachine {
 public:
  using ResultType = std::unique_ptr<ValueBase>;

  ValueBaseStructParserStateMachine();
  ~ValueBaseStructParserStateMachine() override;

  void beginElement(int elementType) override;
  void endElement(int elementType) override;
  void reset() override;
  void charactersCallback(const char* data, size_t length) override;
  void numberCallback(int64_t number, int fraction, int exponent) override;
  void boolCallback(bool value) override;

  std::unique_ptr<ValueBase> getResult();
  static std::unique_ptr<ValueBase> noResult() { return nullptr; }

  void setAllowEmptyMemberName(bool allow);

  // Used by the states.
  const std::string& getCharacters() const { return characters_; }
  int64_t getNumber() const { return number_; }
  bool getBool() const { return bool_; }

  void pushFrame();
  void popArrayFrame();
  void popDictFrame();
  void setCurrentFrameValue(std::unique_ptr<ValueBase> value);
  const std::unique_ptr<ValueBase>& getCurrentFrameValue() const;
  std::unique_ptr<ValueBase> popCurrentFrameValue();
  void setCurrentFrameName(std::string name);

  void pushDictState();
  void pushDictKeyState();
  void pushDictDataState();
  void pushArrayState();
  void pushArrayDataState();
  void pushStringState();
  void pushNumberState();
  void pushBoolState();
  void pushNullState();

 private:
  std::unique_ptr<rpc::XmlRpcRequestParserController> ctrl_;
  std::stack<ValueBaseStructParserState*> stateStack_;
  std::string characters_;
  int64_t number_ = 0;
  // Kept as the readers report them; the tree holds the integer part only.
  [[maybe_unused]] int fraction_ = 0;
  [[maybe_unused]] int exponent_ = 0;
  bool bool_ = false;
};

}  // namespace quarn
