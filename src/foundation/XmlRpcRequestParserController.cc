#include "foundation/XmlRpcRequestParserController.h"

#include <cassert>

#include "foundation/DowncastValueBaseVisitor.h"

namespace quarn {
namespace rpc {

void XmlRpcRequestParserController::pushFrame() {
  frameStack_.push(std::move(currentFrame_));
  currentFrame_ = StateFrame();
}

void XmlRpcRequestParserController::popStructFrame() {
  assert(!frameStack_.empty());
  StateFrame parent = std::move(frameStack_.top());
  frameStack_.pop();
  Dict* dict = valueAs<Dict>(parent.value_);
  assert(dict);
  if (currentFrame_.value_ && (allowEmptyMemberName_ || !currentFrame_.name_.empty())) {
    dict->put(std::move(currentFrame_.name_), std::move(currentFrame_.value_));
  }
  currentFrame_ = std::move(parent);
}

void XmlRpcRequestParserController::popArrayFrame() {
  assert(!frameStack_.empty());
  StateFrame parent = std::move(frameStack_.top());
  frameStack_.pop();
  List* list = valueAs<List>(parent.value_);
  assert(list);
  if (currentFrame_.value_) {
    list->append(std::move(currentFrame_.value_));
  }
  currentFrame_ = std::move(parent);
}

void XmlRpcRequestParserController::setCurrentFrameValue(std::unique_ptr<ValueBase> value) {
  currentFrame_.value_ = std::move(value);
}

std::unique_ptr<ValueBase> XmlRpcRequestParserController::popCurrentFrameValue() {
  return std::move(currentFrame_.value_);
}

void XmlRpcRequestParserController::setCurrentFrameName(std::string name) {
  currentFrame_.name_ = std::move(name);
}

void XmlRpcRequestParserController::reset() {
  while (!frameStack_.empty()) {
    frameStack_.pop();
  }
  currentFrame_ = StateFrame();
  methodName_.clear();
}

}  // namespace rpc
}  // namespace quarn
