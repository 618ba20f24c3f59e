// Feeds arbitrary bytes to the XML reader whole and one byte at a time: both must agree on
// the verdict and on the events.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/ParserStateMachine.h"
#include "foundation/XmlParser.h"

namespace {

// Collects the text of every element at an odd depth, so that text of elements that want
// it and of elements that do not is mixed.
class RecordingStateMachine : public quarn::ParserStateMachine {
 public:
  bool needsCharactersBuffering() const override { return depth_ % 2 == 1; }
  bool finished() const override { return depth_ == 0 && !log_.empty(); }
  void beginElement(const char* localname, const char* prefix, const char* nsUri,
                    const std::vector<quarn::XmlAttr>& attrs) override {
    log_ += std::string("<") + (prefix ? prefix : "") + ":" + localname + "{" +
            (nsUri ? nsUri : "") + "}";
    for (const auto& attr : attrs) {
      log_ += " " + std::string(attr.localname) + "=" + std::string(attr.value, attr.valueLength);
    }
    ++depth_;
  }
  void endElement(const char* localname, const char*, const char*,
                  std::string characters) override {
    --depth_;
    log_ += "</" + std::string(localname) + "'" + characters + "'>";
  }
  void reset() override {
    depth_ = 0;
    log_.clear();
  }
  const std::string& log() const { return log_; }

 private:
  int depth_ = 0;
  std::string log_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  RecordingStateMachine whole;
  bool wholeOk = quarn::xml::XmlParser(&whole).parseFinal(text, size) >= 0;

  RecordingStateMachine bytewise;
  quarn::xml::XmlParser parser(&bytewise);
  bool bytewiseOk = true;
  for (size_t i = 0; i < size && bytewiseOk; ++i) {
    bytewiseOk = parser.parseUpdate(text + i, 1) >= 0;
  }
  bytewiseOk = bytewiseOk && parser.parseFinal(nullptr, 0) >= 0;

  if (wholeOk != bytewiseOk || whole.log() != bytewise.log()) {
    abort();
  }
  return 0;
}
