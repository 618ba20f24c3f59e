#pragma once

namespace quarn {

class MetalinkParserState;

namespace metalink {

// The states of the root "metalink" element of each format.
const MetalinkParserState* metalinkStateV3();
const MetalinkParserState* metalinkStateV4();

}  // namespace metalink
}  // namespace quarn
