#pragma once

namespace quarn {

class MetalinkParserState;
class MetalinkParserStateMachine;

namespace metalink {

// The states of the root "metalink" element of each format.
const MetalinkParserState* metalinkStateV3();
const MetalinkParserState* metalinkStateV4();

// Elements that both formats read the same way: their text goes to the
// entry or to the object their start opened.
// Pushes the state of a "version", "language" or "os" element of
// namespace ns; false for any other element.
bool pushDescriptionState(MetalinkParserStateMachine* psm, const char* localname, const char* nsUri,
                          const char* ns);
const MetalinkParserState* hashState();
const MetalinkParserState* signatureState();
const MetalinkParserState* urlState();

}  // namespace metalink
}  // namespace quarn
