#pragma once

#include <memory>
#include <stack>
#include <string>

#include "foundation/ValueBase.h"

namespace quarn {
namespace rpc {

// The frame stack that holds a value tree while a reader builds it: one frame per open
// container member or element, each with its value and (for members) its name.
class XmlRpcRequestParserController {
 public:
  struct StateFrame {
    std::unique_ptr<ValueBase> value_;
    std::string name_;
  };

  void pushFrame();
  // The parent frame must hold a Dict; the current member goes into it.
  void popStructFrame();
  // The parent frame must hold a List; the current element goes into it.
  void popArrayFrame();

  void setCurrentFrameValue(std::unique_ptr<ValueBase> value);
  const std::unique_ptr<ValueBase>& getCurrentFrameValue() const { return currentFrame_.value_; }
  std::unique_ptr<ValueBase> popCurrentFrameValue();
  void setCurrentFrameName(std::string name);

  void setMethodName(std::string methodName) { methodName_ = std::move(methodName); }
  const std::string& getMethodName() const { return methodName_; }

  void setAllowEmptyMemberName(bool allow) { allowEmptyMemberName_ = allow; }

  void reset();

 private:
  std::stack<StateFrame> frameStack_;
  StateFrame currentFrame_;
  std::string methodName_;
  bool allowEmptyMemberName_ = false;
};

}  // namespace rpc
}  // namespace quarn
