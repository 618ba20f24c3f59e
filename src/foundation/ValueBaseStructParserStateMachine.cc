#include "foundation/ValueBaseStructParserStateMachine.h"

#include <cassert>

#include "foundation/ValueBaseStructParserStateImpl.h"

namespace quarn {

namespace {

ValueValueBaseStructParserState valueState;
DictValueBaseStructParserState dictState;
DictKeyValueBaseStructParserState dictKeyState;
DictDataValueBaseStructParserState dictDataState;
ArrayValueBaseStructParserState arrayState;
ArrayDataValueBaseStructParserState arrayDataState;
StringValueBaseStructParserState stringState;
NumberValueBaseStructParserState numberState;
BoolValueBaseStructParserState boolState;
NullValueBaseStructParserState nullState;

}  // namespace

ValueBaseStructParserStateMachine::ValueBaseStructParserStateMachine()
    : ctrl_(std::make_unique<rpc::XmlRpcRequestParserController>()) {
  stateStack_.push(&valueState);
}

ValueBaseStructParserStateMachine::~ValueBaseStructParserStateMachine() = default;

void ValueBaseStructParserStateMachine::beginElement(int elementType) {
  stateStack_.top()->beginElement(this, elementType);
}

void ValueBaseStructParserStateMachine::endElement(int elementType) {
  stateStack_.top()->endElement(this, elementType);
  stateStack_.pop();
  assert(!stateStack_.empty());
}

void ValueBaseStructParserStateMachine::reset() {
  while (!stateStack_.empty()) {
    stateStack_.pop();
  }
  stateStack_.push(&valueState);
  ctrl_->reset();
}

void ValueBaseStructParserStateMachine::charactersCallback(const char* data, size_t length) {
  characters_.append(data, length);
}

void ValueBaseStructParserStateMachine::numberCallback(int64_t number, int fraction, int exponent) {
  number_ = number;
  fraction_ = fraction;
  exponent_ = exponent;
}

void ValueBaseStructParserStateMachine::boolCallback(bool value) {
  bool_ = value;
}

std::unique_ptr<ValueBase> ValueBaseStructParserStateMachine::getResult() {
  return ctrl_->popCurrentFrameValue();
}

void ValueBaseStructParserStateMachine::setAllowEmptyMemberName(bool allow) {
  ctrl_->setAllowEmptyMemberName(allow);
}

void ValueBaseStructParserStateMachine::pushFrame() {
  ctrl_->pushFrame();
}

void ValueBaseStructParserStateMachine::popArrayFrame() {
  ctrl_->popArrayFrame();
}

void ValueBaseStructParserStateMachine::popDictFrame() {
  ctrl_->popStructFrame();
}

void ValueBaseStructParserStateMachine::setCurrentFrameValue(std::unique_ptr<ValueBase> value) {
  ctrl_->setCurrentFrameValue(std::move(value));
}

const std::unique_ptr<ValueBase>& ValueBaseStructParserStateMachine::getCurrentFrameValue() const {
  return ctrl_->getCurrentFrameValue();
}

std::unique_ptr<ValueBase> ValueBaseStructParserStateMachine::popCurrentFrameValue() {
  return ctrl_->popCurrentFrameValue();
}

void ValueBaseStructParserStateMachine::setCurrentFrameName(std::string name) {
  ctrl_->setCurrentFrameName(std::move(name));
}

void ValueBaseStructParserStateMachine::pushDictState() {
  stateStack_.push(&dictState);
}

void ValueBaseStructParserStateMachine::pushDictKeyState() {
  characters_.clear();
  stateStack_.push(&dictKeyState);
}

void ValueBaseStructParserStateMachine::pushDictDataState() {
  stateStack_.push(&dictDataState);
}

void ValueBaseStructParserStateMachine::pushArrayState() {
  stateStack_.push(&arrayState);
}

void ValueBaseStructParserStateMachine::pushArrayDataState() {
  stateStack_.push(&arrayDataState);
}

void ValueBaseStructParserStateMachine::pushStringState() {
  characters_.clear();
  stateStack_.push(&stringState);
}

void ValueBaseStructParserStateMachine::pushNumberState() {
  number_ = 0;
  fraction_ = 0;
  exponent_ = 0;
  stateStack_.push(&numberState);
}

void ValueBaseStructParserStateMachine::pushBoolState() {
  bool_ = false;
  stateStack_.push(&boolState);
}

void ValueBaseStructParserStateMachine::pushNullState() {
  stateStack_.push(&nullState);
}

}  // namespace quarn
