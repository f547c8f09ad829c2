// The engine's exception: every fatal condition inside the engine raises it with a fixed
// English message; the component turns it into a result at its boundary.
#pragma once

#include <stdexcept>
#include <string>

class FFMpegException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Raised where the engine asserts a precondition of its caller (the four-character tags);
// deliberately not an FFMpegException.
class EAssertionFailed : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};
