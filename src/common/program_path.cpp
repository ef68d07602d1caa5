#include "common/program_path.h"

#include <windows.h>

#include "common/path_util.h"
#include "common/string_util.h"
#include "common/test_seams.h"

bool ProgramSiblingPath(const wchar_t* fileName, wchar_t* dest, size_t capacity) {
  if (capacity == 0)
    return false;
  dest[0] = 0;
  wchar_t program[kPathBufferCapacity];
  const DWORD length = GetProgramPath(program, kPathBufferCapacity);
  // A length of the whole capacity means GetModuleFileNameW cut the path short.
  if (length == 0 || length >= kPathBufferCapacity)
    return false;
  const size_t folderLength = static_cast<size_t>(FileNamePart(program) - program);
  if (folderLength + WideLength(fileName) >= capacity)
    return false;
  program[folderLength] = 0;
  CopyBounded(dest, program, capacity);
  AppendBounded(dest, fileName, capacity);
  return true;
}
