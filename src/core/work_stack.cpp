#include "core/work_stack.h"

#include <pthread.h>
#include <sys/mman.h>

#include <cstdint>

#include "core/memory.h"
#include "core/secret.h"
#include "core/testing_hooks.h"

#ifdef VESK_WORK_STACK_INSTRUMENTED
#include <sanitizer/asan_interface.h>
#include <sanitizer/common_interface_defs.h>
#endif

// work_stack_call(arg, fn, top): calls fn(arg) with the stack pointer set to `top` (16-byte
// aligned) and returns on the caller's stack. The frame pointer keeps the caller's stack pointer,
// and the unwind information says so, so debuggers and unwinders walk from the work stack back into
// the host's. Local to this object: never exported.
__asm__(R"(
  .text
  .p2align 4
  .type work_stack_call, @function
work_stack_call:
  .cfi_startproc
  endbr64
  pushq %rbp
  .cfi_def_cfa_offset 16
  .cfi_offset %rbp, -16
  movq %rsp, %rbp
  .cfi_def_cfa_register %rbp
  movq %rdx, %rsp
  callq *%rsi
  movq %rbp, %rsp
  popq %rbp
  .cfi_def_cfa %rsp, 8
  ret
  .cfi_endproc
  .size work_stack_call, .-work_stack_call
)");

extern "C" void work_stack_call(void* arg, void (*fn)(void*), void* top);

namespace vesk {
namespace {

constexpr std::size_t kGuardLen = 4096;

// Constant-initialised and trivially destructible: no initialiser or destructor of its own runs
// for it, at thread start or at any exit.
struct ThreadStack {
  std::uint8_t* low;  // the lowest usable byte; kWorkStackLen bytes follow
  bool busy;          // work is running on it (a nested call stays where it is)
  bool kept;          // released by the thread-exit key, not after each call
};
thread_local ThreadStack t_stack{nullptr, false, false};

void unmap(std::uint8_t* low) { ::munmap(low - kGuardLen, kGuardLen + kWorkStackLen); }

// Runs when a thread that used the library ends (a pthread key destructor, which process exit
// never runs).
void release_at_thread_exit(void* low) {
  unmap(static_cast<std::uint8_t*>(low));
  t_stack.low = nullptr;
  t_stack.kept = false;
}

struct ExitKey {
  pthread_key_t key;
  bool ok;
};
const ExitKey& exit_key() {
  static const ExitKey k = [] {
    ExitKey made{};
    made.ok = pthread_key_create(&made.key, &release_at_thread_exit) == 0;
    return made;
  }();
  return k;
}

std::uint8_t* acquire() {
  if (t_stack.low != nullptr) return t_stack.low;
  const std::size_t total = kGuardLen + kWorkStackLen;
  void* p = ::mmap(nullptr, total, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
  if (p == MAP_FAILED) out_of_memory(total);
  auto* low = static_cast<std::uint8_t*>(p) + kGuardLen;
  if (::mprotect(low, kWorkStackLen, PROT_READ | PROT_WRITE) != 0) {
    ::munmap(p, total);
    out_of_memory(total);
  }
  // Secrets pass through it: keep it out of core dumps.
  ::madvise(low, kWorkStackLen, MADV_DONTDUMP);
  const ExitKey& key = exit_key();
  // Without a key (the process ran out of them) the stack is released after each call instead.
  t_stack.kept = key.ok && pthread_setspecific(key.key, low) == 0;
  t_stack.low = low;
  return low;
}

struct Entry {
  void (*fn)(void*);
  void* arg;
  const void* host_bottom;
  std::size_t host_size;
};

// The first frame on the work stack.
void enter(void* p) {
  auto* e = static_cast<Entry*>(p);
#ifdef VESK_WORK_STACK_INSTRUMENTED
  __sanitizer_finish_switch_fiber(nullptr, &e->host_bottom, &e->host_size);
#endif
  e->fn(e->arg);
#ifdef VESK_WORK_STACK_INSTRUMENTED
  __sanitizer_start_switch_fiber(nullptr, e->host_bottom, e->host_size);
#endif
}

}  // namespace

void run_on_work_stack(void (*fn)(void*), void* arg, AfterWork after) {
  if (t_stack.busy) {
    fn(arg);
    return;
  }
  std::uint8_t* low = acquire();
  t_stack.busy = true;
  Entry entry{fn, arg, nullptr, 0};
#ifdef VESK_WORK_STACK_INSTRUMENTED
  void* fake_stack = nullptr;
  __sanitizer_start_switch_fiber(&fake_stack, low, kWorkStackLen);
#endif
  work_stack_call(&entry, &enter, low + kWorkStackLen);
#ifdef VESK_WORK_STACK_INSTRUMENTED
  __sanitizer_finish_switch_fiber(fake_stack, nullptr, nullptr);
  // Frames left by an unwound fault keep their red zones poisoned.
  if (after == AfterWork::Wipe) __asan_unpoison_memory_region(low, kWorkStackLen);
#endif
  if (after == AfterWork::Wipe) wipe(low, kWorkStackLen);
  t_stack.busy = false;
  if (!t_stack.kept) {
    unmap(low);
    t_stack.low = nullptr;
  }
}

namespace testing_hooks {
MutBytes work_stack() { return t_stack.low == nullptr ? MutBytes{} : MutBytes(t_stack.low, kWorkStackLen); }
}  // namespace testing_hooks

}  // namespace vesk
