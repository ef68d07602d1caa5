#pragma once
// Test helper: a File whose contents are bytes in memory. Reads may be capped to a few bytes
// per call, as a file system may deliver less than asked.

#include <algorithm>
#include <cstring>
#include <string>

#include "common/file.h"

class MemoryFile : public File {
 public:
  explicit MemoryFile(std::string bytes, uint32_t maxRead = 0xFFFFFFFF)
      : bytes_(std::move(bytes)), maxRead_(maxRead) {}

  bool Open(const wchar_t*, uint32_t) override {
    open_ = true;
    position_ = 0;
    return true;
  }
  bool Close() override {
    open_ = false;
    return true;
  }
  int32_t Read(void* buffer, uint32_t count) override {
    ++Reads;
    if (position_ >= bytes_.size())
      return 0;
    const size_t n = std::min<size_t>({count, maxRead_, bytes_.size() - position_});
    std::memcpy(buffer, bytes_.data() + position_, n);
    position_ += n;
    return static_cast<int32_t>(n);
  }
  void Seek(uint64_t offset) override { position_ = offset; }
  uint64_t Tell() override { return position_; }
  bool IsOpened() const override { return open_; }

  int Reads = 0;

 private:
  std::string bytes_;
  uint32_t maxRead_;
  uint64_t position_ = 0;
  bool open_ = true;
};
