#pragma once

#include <memory>
#include <stack>
#include <string>
#include <vector>

#include "foundation/ParserStateMachine.h"
#include "foundation/ValueBase.h"
#include "foundation/XmlRpcRequestParserController.h"

namespace quarn {
namespace rpc {

class XmlRpcRequestParserStateMachine;

// One element kind of the XML-RPC call vocabulary. States hold no data: one
// shared instance of each serves every machine.
class XmlRpcRequestParserState {
 public:
  virtual ~XmlRpcRequestParserState() = default;
  // Pushes exactly one state for the child element.
  virtual void beginElement(XmlRpcRequestParserStateMachine* psm, const char* name) const = 0;
  virtual void endElement(XmlRpcRequestParserStateMachine* psm, const char* name,
                          std::string characters) const = 0;
  virtual bool needsCharactersBuffering() const = 0;
};

// Builds the method name and the parameter list of an XML-RPC call from the
// XML reader's events. Elements outside the vocabulary are skipped with their
// subtree; unreadable values are left out.
class XmlRpcRequestParserStateMachine : public ParserStateMachine {
 public:
  XmlRpcRequestParserStateMachine();

  bool needsCharactersBuffering() const override;
  bool finished() const override;
  void beginElement(const char* localname, const char* prefix, const char* nsUri,
                    const std::vector<XmlAttr>& attrs) override;
  void endElement(const char* localname, const char* prefix, const char* nsUri,
                  std::string characters) override;
  void reset() override;

  void pushState(const XmlRpcRequestParserState* state) { stateStack_.push(state); }
  XmlRpcRequestParserController& controller() { return controller_; }

  const std::string& getMethodName() const { return controller_.getMethodName(); }
  std::unique_ptr<ValueBase> popCurrentFrameValue() { return controller_.popCurrentFrameValue(); }

 private:
  XmlRpcRequestParserController controller_;
  std::stack<const XmlRpcRequestParserState*> stateStack_;
};

}  // namespace rpc
}  // namespace quarn
