#pragma once
// Registration of the shell extension DLL (a 64-bit and a 32-bit build beside this program) as
// an in-process COM server hooked into the shell's handler keys, and of the archiver as a
// registered application with its file-association capabilities. Every failure is ignored.

#include "integration/integration_options.h"

// One build of the shell extension.
struct ShellExtensionVariant {
  const wchar_t* DllName;      // file beside this program
  const wchar_t* ClassId;      // "{...}"
  const wchar_t* HandlerName;  // name of the drag-and-drop and context-menu handler keys
  bool Is32Bit;                // class keys go to the 32-bit registry view
};
constexpr int kShellExtensionVariants = 2;
// In registration order: the 32-bit build first.
extern const ShellExtensionVariant ShellExtensionVariants[kShellExtensionVariants];

enum class ShellExtensionAction { Register, Remove };
// Register (from ApplyIntegration): registers both variants by options.ShellExt. Remove (with
// an all-zero record, from RemoveIntegration): removes them with the registered-application
// keys and the whole machine settings tree. Ends with a shell association-change notification.
void RegisterShellExtensions(ShellExtensionAction action, const IntegrationOptions& options);
// Registers one variant when options.ShellExt is on, removes it when off. The class keys are
// written only when the DLL file exists; the handler keys are written regardless. The classic
// context-menu handlers exist only while ShellExt is on and either the shell is not the new
// one or LegacyMenu is on. For the 64-bit variant on the new shell the modern context-menu
// package is installed or removed as well.
void RegisterShellExtension(const IntegrationOptions& options, const wchar_t* dllName,
                            const wchar_t* classId, const wchar_t* handlerName, bool is32Bit);
