#pragma once
// Splitting a command line into arguments.

#include <cstddef>

// Spaces and tabs separate arguments.
bool IsArgumentBlank(wchar_t c);

// Reads the argument that starts at pos (after spaces and tabs) into out (may be null),
// cutting it to capacity-1 units and always terminating it. Quotation marks toggle quoting
// and are not copied; two adjacent ones give one literal mark. Returns the position behind
// the argument, or nullptr when only spaces and tabs remain.
const wchar_t* NextArgument(const wchar_t* pos, wchar_t* out, size_t capacity);
