// Errors of Orvane: every one carries the message the user reads. The front ends catch
// them at the boundary of an event handler (the window shows a message box and goes on,
// orvane-batch prints the message and exits 1).
#pragma once

#include <stdexcept>
#include <string>

namespace orvane {

class OrvaneError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A field text that is not a number of the kind asked for.
class ConversionError : public OrvaneError {
public:
    using OrvaneError::OrvaneError;
};

// A file that cannot be opened, read or written, or a number in a text file that is not one.
class FileError : public OrvaneError {
public:
    using OrvaneError::OrvaneError;
};

// Division by zero, invalid operation or overflow in a computation.
class MathError : public OrvaneError {
public:
    using OrvaneError::OrvaneError;
};

// Inputs a run cannot work with (too few rays, a grid too small or too large, ...).
class InputError : public OrvaneError {
public:
    using OrvaneError::OrvaneError;
};

} // namespace orvane
