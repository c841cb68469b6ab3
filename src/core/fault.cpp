#include "core/check.h"

namespace vesk {

void raise_fault(const char* message, const char* file, int line) { throw Fault{message, file, line}; }

}  // namespace vesk
