#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "foundation/ParserStateMachine.h"

namespace quarn {

class MetalinkParserController;
class MetalinkParserState;
class Metalinker;

// Reads Metalink documents of both formats from the XML reader's events: a
// stack of element states validates the document and drives the controller,
// which builds the result. Violations of the current format's rules are
// recorded, never thrown.
class MetalinkParserStateMachine : public ParserStateMachine {
 public:
  MetalinkParserStateMachine();
  ~MetalinkParserStateMachine() override;

  bool needsCharactersBuffering() const override;
  bool finished() const override;
  void beginElement(const char* localname, const char* prefix, const char* nsUri,
                    const std::vector<XmlAttr>& attrs) override;
  void endElement(const char* localname, const char* prefix, const char* nsUri,
                  std::string characters) override;
  void reset() override;

  // Pushes the state of a child element.
  void pushState(const MetalinkParserState* state) { stateStack_.push_back(state); }
  void setSkipTagState();

  // Keeps at most MAX_ERRORS messages.
  void logError(std::string message);
  const std::vector<std::string>& getErrors() const { return errors_; }
  // The recorded messages behind the violation prefix the user sees.
  std::string getErrorString() const;

  MetalinkParserController* ctrl() { return ctrl_.get(); }
  std::unique_ptr<Metalinker> getResult();
  void setBaseUri(std::string baseUri);

  static constexpr size_t MAX_ERRORS = 10;

 private:
  std::unique_ptr<MetalinkParserController> ctrl_;
  std::deque<const MetalinkParserState*> stateStack_;
  std::vector<std::string> errors_;
};

}  // namespace quarn
