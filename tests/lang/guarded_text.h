#pragma once
// Test helper: a copy of a text placed so that its terminator is the last unit before a page
// that may not be read. Code that reads past the terminator faults at once instead of
// quietly reading whatever follows.

#include <windows.h>

#include <cstring>
#include <string>

class GuardedText {
 public:
  explicit GuardedText(const std::wstring& text) {
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const size_t page = info.dwPageSize;
    const size_t dataPages = (bytes + page - 1) / page;
    size_ = (dataPages + 1) * page;
    base_ = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, size_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    (void)VirtualProtect(base_ + dataPages * page, page, PAGE_NOACCESS, &old);
    text_ = reinterpret_cast<wchar_t*>(base_ + dataPages * page - bytes);
    std::memcpy(text_, text.c_str(), bytes);
  }
  ~GuardedText() { VirtualFree(base_, 0, MEM_RELEASE); }
  GuardedText(const GuardedText&) = delete;
  GuardedText& operator=(const GuardedText&) = delete;

  const wchar_t* Get() const { return text_; }

 private:
  unsigned char* base_ = nullptr;
  size_t size_ = 0;
  wchar_t* text_ = nullptr;
};
