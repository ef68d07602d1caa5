#pragma once
// Small RAII holders for Windows handles and COM pointers: each owns one handle and releases
// it exactly once. put() hands the holder to an out-parameter (releasing what it held first);
// release() gives up ownership without closing.

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <utility>

template <typename H, typename Traits>
class UniqueResource {
 public:
  UniqueResource() = default;
  explicit UniqueResource(H h) : h_(h) {}
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : h_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueResource() { reset(); }

  H get() const { return h_; }
  bool valid() const { return h_ != Traits::Invalid(); }
  explicit operator bool() const { return valid(); }
  H* put() {
    reset();
    return &h_;
  }
  H release() {
    H h = h_;
    h_ = Traits::Invalid();
    return h;
  }
  void reset(H h = Traits::Invalid()) {
    if (h_ != Traits::Invalid()) Traits::Close(h_);
    h_ = h;
  }

 private:
  H h_ = Traits::Invalid();
};

struct HKeyTraits {
  static HKEY Invalid() { return nullptr; }
  static void Close(HKEY h) { /* result ignored: nothing to do about it */ RegCloseKey(h); }
};
struct HandleTraits {  // process, thread, event: NULL is invalid
  static HANDLE Invalid() { return nullptr; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
struct FileHandleTraits {  // CreateFileW: INVALID_HANDLE_VALUE is invalid
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
struct FindHandleTraits {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { FindClose(h); }
};
struct ModuleTraits {
  static HMODULE Invalid() { return nullptr; }
  static void Close(HMODULE h) { FreeLibrary(h); }
};
struct FontTraits {
  static HFONT Invalid() { return nullptr; }
  static void Close(HFONT h) { DeleteObject(h); }
};
struct IconTraits {  // for icons made with CreateIcon*/ExtractIcon, not LoadIcon
  static HICON Invalid() { return nullptr; }
  static void Close(HICON h) { DestroyIcon(h); }
};
struct StdioTraits {
  static FILE* Invalid() { return nullptr; }
  static void Close(FILE* f) { fclose(f); }
};

using UniqueHKey = UniqueResource<HKEY, HKeyTraits>;
using UniqueHandle = UniqueResource<HANDLE, HandleTraits>;
using UniqueFileHandle = UniqueResource<HANDLE, FileHandleTraits>;
using UniqueFindHandle = UniqueResource<HANDLE, FindHandleTraits>;
using UniqueModule = UniqueResource<HMODULE, ModuleTraits>;
using UniqueFont = UniqueResource<HFONT, FontTraits>;
using UniqueIcon = UniqueResource<HICON, IconTraits>;
using UniqueStdioFile = UniqueResource<FILE*, StdioTraits>;

// Owns one COM interface reference.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() { reset(); }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  T** put() {
    reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  void reset() {
    if (p_ != nullptr) p_->Release();
    p_ = nullptr;
  }
  // QueryInterface into another holder; returns the HRESULT.
  template <typename U>
  HRESULT As(ComPtr<U>& other) const {
    return p_ != nullptr ? p_->QueryInterface(__uuidof(U), other.put_void()) : E_POINTER;
  }

 private:
  T* p_ = nullptr;
};

// Frees a shell item list (SHGetSpecialFolderLocation) through CoTaskMemFree.
struct ItemListTraits {
  static void* Invalid() { return nullptr; }
  static void Close(void* p) { CoTaskMemFree(p); }
};
