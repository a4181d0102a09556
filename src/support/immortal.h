// Immortal<T>: a process-wide object that is never destroyed, so that callers running
// during exit (a host unloading after this module's static objects are gone) find it. It
// lives in the module's own storage: unloading the module leaves no allocation behind.
#pragma once

#include <memory>
#include <type_traits>
#include <utility>

namespace vorlan {

template <typename T>
class Immortal {
public:
    template <typename... Args>
    explicit Immortal(Args&&... args) : object_(std::construct_at(reinterpret_cast<T*>(bytes_), std::forward<Args>(args)...)) {}
    Immortal(const Immortal&) = delete;
    Immortal& operator=(const Immortal&) = delete;

    // Get / operator-> / operator*: the object.
    T& Get() const { return *object_; }
    T* operator->() const { return object_; }
    T& operator*() const { return *object_; }

private:
    alignas(T) unsigned char bytes_[sizeof(T)];
    T* object_;
};

}  // namespace vorlan
