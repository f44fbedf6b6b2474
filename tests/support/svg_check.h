#pragma once

#include <string>

// Checks of the SVG pictures the result writers produce, for the tests of
// every module that writes them.

namespace test_support {

// A small well-formedness check of an SVG document as our writers produce
// it: the XML declaration, balanced tags, quoted attributes, known entities
// only, and every coordinate on the canvas (whose size the <svg> tag sets).
// Returns the first fault, or "".
[[nodiscard]] std::string svg_fault(const std::string& svg);

// How often part occurs in text.
[[nodiscard]] int count_of_text(const std::string& text, const std::string& part);

}  // namespace test_support
