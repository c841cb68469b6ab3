// The guard every working export runs its operation in: a fault becomes VESK_INTERNAL_FAULT with
// one report on standard error, and never unwinds into the caller.
#pragma once

#include <exception>
#include <new>
#include <utility>

#include "core/check.h"
#include "core/memory.h"
#include "core/secret.h"
#include "core/work_stack.h"
#include "vesk.h"

namespace vesk::ffi {

void report_fault(const Fault& fault);
void report_unexpected(const char* what);

// Runs `op` (returning a VeskStatus) and turns a fault into VESK_INTERNAL_FAULT; secrets held by
// the operation are wiped by their owners' destructors as the fault unwinds through them.
template <class Op>
VeskStatus run_guarded(Op& op) noexcept {
  try {
    return op();
  } catch (const Fault& fault) {
    report_fault(fault);
  } catch (const std::bad_alloc&) {
    // Only allocations outside the library's own allocator can get here.
    out_of_memory(0);
  } catch (const std::exception& e) {
    report_unexpected(e.what());
  } catch (...) {
    report_unexpected("unknown exception");
  }
  return VESK_INTERNAL_FAULT;
}

// Makes sure libcrypto allocates through the library before the first operation of the process
// reaches it (a static host may call from a constructor that runs before the library's own).
void prepare_first_call();

template <class Op>
VeskStatus guarded_on(Op&& op, AfterWork after) noexcept {
  prepare_first_call();
  auto run = [&op]() noexcept { return run_guarded(op); };
  return on_work_stack<VeskStatus>(run, after);
}

// The guard every working export runs its operation in, on the library's work stack (see
// core/work_stack.h): the host's stack holds only the export's own frame.
template <class Op>
VeskStatus guarded(Op&& op) noexcept {
  return guarded_on(std::forward<Op>(op), AfterWork::Keep);
}

// For operations that handle secrets: the work stack is wiped once the operation has returned (or
// faulted), so that nothing libcrypto left there outlives the call.
template <class Op>
VeskStatus guarded_with_secrets(Op&& op) noexcept {
  return guarded_on(std::forward<Op>(op), AfterWork::Wipe);
}

}  // namespace vesk::ffi
