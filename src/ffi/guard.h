// The guard every working export runs its operation in: a fault becomes VESK_INTERNAL_FAULT with
// one report on standard error, and never unwinds into the caller.
#pragma once

#include <exception>
#include <new>
#include <utility>

#include "core/check.h"
#include "core/memory.h"
#include "core/secret.h"
#include "ffi/status.h"

namespace vesk::ffi {

void report_fault(const Fault& fault);
void report_unexpected(const char* what);

// Runs `op` (returning a Status); secrets held by the operation are wiped by their owners' destructors
// as the fault unwinds through them.
// Never inlined into the export, so that the operation's frames lie below the export's, where
// guarded_with_secrets scrubs.
template <class Op>
[[gnu::noinline]] VeskStatus guarded(Op&& op) noexcept {
  try {
    return code(op());
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
  return code(Status::InternalFault);
}

// For operations that handle secrets: once the operation has returned (or faulted), the stack it
// used below the export's frame is overwritten, so that nothing libcrypto left there outlives the
// call.
template <class Op>
VeskStatus guarded_with_secrets(Op&& op) noexcept {
  const VeskStatus status = guarded(std::forward<Op>(op));
  scrub_stack();
  return status;
}

}  // namespace vesk::ffi
