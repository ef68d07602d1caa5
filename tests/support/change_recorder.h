#pragma once
// Listens to the program's change reports for the lifetime of the object and keeps each as one
// line: "kind|subject|name|before|after|detail", with "-" for a field the report left null (so
// that an empty text and no text differ). Before and After are kept whole, NUL units and all.

#include <string>
#include <vector>

#include "common/change_record.h"

class ChangeRecorder final : public ChangeObserver {
 public:
  ChangeRecorder() { (void)AddChangeObserver(this); }
  ~ChangeRecorder() { RemoveChangeObserver(this); }
  ChangeRecorder(const ChangeRecorder&) = delete;
  ChangeRecorder& operator=(const ChangeRecorder&) = delete;

  void OnChange(const ChangeEvent& change) override {
    auto field = [](const wchar_t* text, size_t length = kWholeText) {
      return text != nullptr ? std::wstring(text, ChangeTextLength(text, length)) : L"-";
    };
    lines_.push_back(std::wstring(ChangeKindName(change.Kind)) + L"|" + field(change.Subject) +
                     L"|" + field(change.Name) + L"|" + field(change.Before, change.BeforeLength) +
                     L"|" + field(change.After, change.AfterLength) + L"|" + field(change.Detail));
  }

  const std::vector<std::wstring>& Lines() const { return lines_; }
  void Clear() { lines_.clear(); }

 private:
  std::vector<std::wstring> lines_;
};
