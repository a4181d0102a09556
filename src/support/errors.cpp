// Assertion text and readable exception texts.
#include "support/errors.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <new>
#include <typeinfo>

namespace vorlan {

namespace {

struct FreeDeleter {
    void operator()(char* p) const noexcept { std::free(p); }
};

// The readable name of a std exception's dynamic type.
std::string TypeName(const std::exception& e) {
    const char* mangled = typeid(e).name();
    int status = 0;
    std::unique_ptr<char, FreeDeleter> plain(abi::__cxa_demangle(mangled, nullptr, nullptr, &status));
    if (status == 0 && plain) return plain.get();
    return mangled;
}

}  // namespace

[[noreturn]] void AssertionFailure(const char* unit, int line) {
    throw EAssertionFailed("Assertion failure (" + std::string(unit != nullptr ? unit : "") + ", line " +
                           std::to_string(line) + ")");
}

std::string ExceptionText(const std::exception& e) {
    if (const auto* own = dynamic_cast<const Exception*>(&e)) {
        return std::string(own->ClassName()) + ": " + own->what();
    }
    // An allocation failure reads like the library's own out-of-memory error.
    if (dynamic_cast<const std::bad_alloc*>(&e) != nullptr) return "EOutOfMemory: Out of memory";
    return TypeName(e) + ": " + e.what();
}

}  // namespace vorlan
