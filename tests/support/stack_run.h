// Runs a call on a stack the test owns and records the stack pointer of the frame that makes the
// call, so that a test can tell how deep the call reached below its caller and what it left there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace vesk::testing {

// Frames instrumented by AddressSanitizer are larger and carry headers of their own.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif
#else
inline constexpr bool kAddressSanitizer = false;
#endif

// Runs `call` on a new thread whose stack is the `len` bytes at `stack`; returns the stack pointer
// of the frame that called it: everything below belongs to the call.
std::uintptr_t run_on_thread_stack(std::uint8_t* stack, std::size_t len, const std::function<void()>& call);
// The same on a coroutine of the calling thread (makecontext and swapcontext) over that stack.
std::uintptr_t run_on_coroutine_stack(std::uint8_t* stack, std::size_t len, const std::function<void()>& call);

}  // namespace vesk::testing
