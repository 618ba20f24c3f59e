#include "metalink/MetalinkParserStateMachine.h"

#include "metalink/MetalinkParserController.h"
#include "metalink/MetalinkParserState.h"
#include "metalink/Metalinker.h"
#include "metalink/metalink_states.h"

namespace quarn {

namespace {

// Ignores an element and everything inside it.
class SkipTagState : public MetalinkParserState {};

// Before the root element: a document of another kind, or a "metalink"
// element of no known format, is skipped whole and gives an empty result.
class InitialState : public MetalinkParserState {
 public:
  void beginElement(MetalinkParserStateMachine* psm, const char* localname, const char*,
                    const char* nsUri, const std::vector<XmlAttr>&) const override {
    if (metalink::isElement(localname, nsUri, "metalink", metalink::NS_V4)) {
      psm->pushState(metalink::metalinkStateV4());
    } else if (metalink::isElement(localname, nsUri, "metalink", metalink::NS_V3)) {
      psm->pushState(metalink::metalinkStateV3());
    } else {
      psm->setSkipTagState();
    }
  }
};

const SkipTagState skipTagState;
const InitialState initialState;

}  // namespace

MetalinkParserStateMachine::MetalinkParserStateMachine()
    : ctrl_(std::make_unique<MetalinkParserController>()) {
  stateStack_.push_back(&initialState);
}

MetalinkParserStateMachine::~MetalinkParserStateMachine() = default;

bool MetalinkParserStateMachine::needsCharactersBuffering() const {
  return stateStack_.back()->needsCharactersBuffering();
}

bool MetalinkParserStateMachine::finished() const {
  return stateStack_.back() == &initialState;
}

void MetalinkParserStateMachine::beginElement(const char* localname, const char* prefix,
                                              const char* nsUri,
                                              const std::vector<XmlAttr>& attrs) {
  stateStack_.back()->beginElement(this, localname, prefix, nsUri, attrs);
}

void MetalinkParserStateMachine::endElement(const char* localname, const char* prefix,
                                            const char* nsUri, std::string characters) {
  stateStack_.back()->endElement(this, localname, prefix, nsUri, std::move(characters));
  // The initial state never goes: an unbalanced end cannot empty the stack.
  if (stateStack_.size() > 1) {
    stateStack_.pop_back();
  }
}

void MetalinkParserStateMachine::reset() {
  ctrl_->reset();
  errors_.clear();
  stateStack_.clear();
  stateStack_.push_back(&initialState);
}

void MetalinkParserStateMachine::setSkipTagState() {
  pushState(&skipTagState);
}

void MetalinkParserStateMachine::logError(std::string message) {
  if (errors_.size() < MAX_ERRORS) {
    errors_.push_back(std::move(message));
  }
}

std::string MetalinkParserStateMachine::getErrorString() const {
  std::string s = "Metalink format violation: ";
  for (size_t i = 0; i < errors_.size(); ++i) {
    if (i > 0) {
      s += ", ";
    }
    s += errors_[i];
  }
  return s;
}

std::unique_ptr<Metalinker> MetalinkParserStateMachine::getResult() {
  return ctrl_->getResult();
}

void MetalinkParserStateMachine::setBaseUri(std::string baseUri) {
  ctrl_->setBaseUri(std::move(baseUri));
}

}  // namespace quarn
