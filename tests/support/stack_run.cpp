#include "support/stack_run.h"

#include <pthread.h>
#include <ucontext.h>

#include <stdexcept>

namespace vesk::testing {
namespace {

struct StackRun {
  const std::function<void()>& call;
  std::uintptr_t caller_sp = 0;
};

// The caller's frame ends at its stack pointer; everything below it belongs to the call.
__attribute__((noinline)) void call_recording_sp(StackRun* run) {
  std::uintptr_t sp;
  __asm__ __volatile__("mov %%rsp, %0" : "=r"(sp));
  run->caller_sp = sp;
  run->call();
  __asm__ __volatile__("" : : : "memory");
}

void* thread_main(void* run) {
  call_recording_sp(static_cast<StackRun*>(run));
  return nullptr;
}

// makecontext passes no pointer portably: the coroutine finds its run here.
thread_local StackRun* t_coroutine_run = nullptr;

void coroutine_main() { call_recording_sp(t_coroutine_run); }

}  // namespace

std::uintptr_t run_on_thread_stack(std::uint8_t* stack, std::size_t len, const std::function<void()>& call) {
  StackRun run{call};
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_t thread;
  const bool started = pthread_attr_setstack(&attr, stack, len) == 0 && pthread_create(&thread, &attr, &thread_main, &run) == 0;
  pthread_attr_destroy(&attr);
  if (!started) throw std::runtime_error("cannot start a thread on the test's stack");
  pthread_join(thread, nullptr);
  return run.caller_sp;
}

std::uintptr_t run_on_coroutine_stack(std::uint8_t* stack, std::size_t len, const std::function<void()>& call) {
  StackRun run{call};
  ucontext_t here, coroutine;
  getcontext(&coroutine);
  coroutine.uc_stack.ss_sp = stack;
  coroutine.uc_stack.ss_size = len;
  coroutine.uc_link = &here;
  t_coroutine_run = &run;
  makecontext(&coroutine, &coroutine_main, 0);
  const bool switched = swapcontext(&here, &coroutine) == 0;
  t_coroutine_run = nullptr;
  if (!switched) throw std::runtime_error("cannot switch to a coroutine on the test's stack");
  return run.caller_sp;
}

}  // namespace vesk::testing
