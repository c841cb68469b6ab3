// The stack the library's work runs on. A host may call from a small stack of its own (a thread
// made with pthread_attr_setstack, a coroutine), and libcrypto leaves secret temporaries on
// whatever stack it runs on (ML-KEM coins, X25519 intermediates, ML-DSA's per-signature seed). So
// the work does not run on the host's stack at all: each thread that calls gets a stack of the
// library's own, with an inaccessible page below it, and work with secrets wipes it afterwards.
// The host's stack holds only the export's own small frame.
#pragma once

#include <cstddef>

#include "core/bytes.h"

namespace vesk {

// Usable size of a thread's work stack. The deepest work measured (encryption to many recipients)
// reaches about 19 KiB; frames instrumented by AddressSanitizer are several times larger.
#if defined(__SANITIZE_ADDRESS__)
#define VESK_WORK_STACK_INSTRUMENTED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VESK_WORK_STACK_INSTRUMENTED 1
#endif
#endif
#ifdef VESK_WORK_STACK_INSTRUMENTED
inline constexpr std::size_t kWorkStackLen = std::size_t{512} << 10;
#else
inline constexpr std::size_t kWorkStackLen = std::size_t{64} << 10;
#endif

enum class AfterWork { Keep, Wipe };

// Runs fn(arg) on the calling thread's work stack, made on the thread's first call and released
// when the thread ends (never at process exit). With AfterWork::Wipe the whole stack is
// overwritten with zeros once fn has returned. fn must not throw. A call made from within fn runs
// where it stands.
void run_on_work_stack(void (*fn)(void*), void* arg, AfterWork after);

// Runs `work()` (which must not throw) on the work stack and returns its result.
template <class R, class Work>
R on_work_stack(Work& work, AfterWork after) {
  struct Call {
    Work* work;
    R result;
  } call{&work, R{}};
  run_on_work_stack([](void* p) {
    auto* c = static_cast<Call*>(p);
    c->result = (*c->work)();
  }, &call, after);
  return call.result;
}

}  // namespace vesk
