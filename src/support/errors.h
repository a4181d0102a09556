// The library's exception classes. Their class names appear in the texts stored for
// the last exception ("prefix + class name + ': ' + message"), so each class reports it.
#pragma once

#include <stdexcept>
#include <string>

namespace vorlan {

// Exception: base of every exception the library raises on purpose.
class Exception : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    virtual const char* ClassName() const noexcept { return "Exception"; }
};

#define VORLAN_EXCEPTION_CLASS(Name)                                        \
    class Name : public Exception {                                          \
    public:                                                                  \
        using Exception::Exception;                                          \
        const char* ClassName() const noexcept override { return #Name; }    \
    };

VORLAN_EXCEPTION_CLASS(EAssertionFailed)   // a programming error: "Assertion failure (unit, line N)"
VORLAN_EXCEPTION_CLASS(EInOutError)        // a file could not be read or written
VORLAN_EXCEPTION_CLASS(EConvertError)      // a text is not the number or date expected
VORLAN_EXCEPTION_CLASS(EAbstractError)     // an operation the engine class does not supply
VORLAN_EXCEPTION_CLASS(EOutOfMemory)       // an allocation failed
VORLAN_EXCEPTION_CLASS(ERangeError)        // an index outside its list
VORLAN_EXCEPTION_CLASS(ECryptoEngineError) // a failure of an engine rule (root already set, …)

#undef VORLAN_EXCEPTION_CLASS

// AssertionFailure: raises EAssertionFailed with the library's assertion text for a unit and line.
[[noreturn]] void AssertionFailure(const char* unit, int line);

// ExceptionText: class name + ": " + message of any exception (std ones get their type's name).
std::string ExceptionText(const std::exception& e);

}  // namespace vorlan
