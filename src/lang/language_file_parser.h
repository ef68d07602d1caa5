#pragma once
// The grammar of the language file: one pass over decoded text that reports every entry it
// finds (key and cleaned-up text) and the text direction that the file asks for.

#include <cstddef>

// Longest key kept, in bytes (terminator not counted). Keys that agree in their first
// kLanguageKeyLength bytes are the same key.
constexpr size_t kLanguageKeyLength = 49;
// Longest text kept, in UTF-16 units (terminator not counted).
constexpr size_t kLanguageTextLength = 65536;

// Receives one entry: key is terminated and at most kLanguageKeyLength bytes; text is not
// terminated, holds length units and is only valid during the call.
using LanguageEntrySink = void (*)(void* context, const char* key, const wchar_t* text,
                                   size_t length);

// Walks text up to its first NUL (the caller guarantees one) and never reads beyond it.
// rightToLeft is set by every :DIRECTION line and otherwise left alone. Returns false, having
// reported nothing, when the working buffer cannot be allocated.
bool ParseLanguageText(const wchar_t* text, LanguageEntrySink sink, void* context,
                       bool& rightToLeft);
