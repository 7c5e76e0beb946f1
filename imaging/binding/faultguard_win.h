// Calls into an outside library with processor faults (access violations, bad
// instructions, divisions by zero ...) caught: a fault inside the call ends the call
// instead of the program. Works with mingw: a vectored handler sends the faulting
// thread to a jump back into the guarded frame.
#pragma once
#include <type_traits>

namespace imaging {

// Runs fn(context); false when a fault ended it.
bool CallGuarded(void (*fn)(void*), void* context);

template <class F>
bool Guarded(F&& f) {
    using Fn = std::remove_reference_t<F>;
    return CallGuarded([](void* p) { (*static_cast<Fn*>(p))(); }, &f);
}

}  // namespace imaging
