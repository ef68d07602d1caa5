#include "common/command_line.h"

bool IsArgumentBlank(wchar_t c) {
  return c == L' ' || c == L'\t';
}

const wchar_t* NextArgument(const wchar_t* pos, wchar_t* out, size_t capacity) {
  // The output is terminated in every case, also when no argument is left.
  size_t n = 0;
  auto emit = [&](wchar_t c) {
    if (out != nullptr && n + 1 < capacity)
      out[n++] = c;
  };
  if (out != nullptr && capacity != 0)
    out[0] = 0;
  if (pos == nullptr)
    return nullptr;

  while (IsArgumentBlank(*pos))
    ++pos;
  if (*pos == 0)
    return nullptr;

  bool quoted = false;
  while (*pos != 0 && (quoted || !IsArgumentBlank(*pos))) {
    if (*pos == L'"') {
      if (pos[1] == L'"') {  // "" is one literal quotation mark, inside quotes or not
        emit(L'"');
        pos += 2;
      } else {
        quoted = !quoted;
        ++pos;
      }
      continue;
    }
    emit(*pos++);
  }
  if (out != nullptr && capacity != 0)
    out[n] = 0;
  return pos;
}
