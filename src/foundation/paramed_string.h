#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quarn {
namespace paramed_string {

// Expansions one parameterised text may produce; past it expand() throws
// rather than exhaust memory on a product of loops and choices.
constexpr size_t MAX_EXPANSIONS = 1000000;
// The bytes all expansions together may take, for the same reason: a long
// literal is repeated in every expansion.
constexpr size_t MAX_EXPANDED_BYTES = 64 * 1024 * 1024;

using Iterator = std::string::const_iterator;

// Appends every expansion of [first, last) to out, in order: "{a,b}" choices
// and "[1-10:2]" or "[a-z]" loops. Throws DlAbortEx on a syntax error or
// when the expansions would exceed MAX_EXPANSIONS or MAX_EXPANDED_BYTES; out is
// then unchanged.
void expand(Iterator first, Iterator last, std::vector<std::string>& out);

// Extends every partial result by each choice of the braces opening at first;
// returns the position after the closing '}'.
Iterator expandChoice(std::vector<std::string>& res, Iterator first, Iterator last);

// Extends every partial result by each value of the loop opening at first;
// returns the position after the closing ']'.
Iterator expandLoop(std::vector<std::string>& res, Iterator first, Iterator last);

// The base-26 numeral of value with zero as digit 0, left-padded to width.
std::string toBase26(uint32_t value, char zero, size_t width);

// The value of a base-26 numeral; throws DlAbortEx past 65535.
uint32_t fromBase26(Iterator first, Iterator last, char zero);

}  // namespace paramed_string
}  // namespace quarn
