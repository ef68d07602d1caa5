#include "integration/shell_extension.h"

#include <windows.h>
#include <shlobj.h>

#include <cwchar>

#include "common/file.h"
#include "common/path_util.h"
#include "common/program_path.h"
#include "common/string_util.h"
#include "integration/context_menu_package.h"
#include "integration/os_version.h"
#include "settings/settings_store.h"

const ShellExtensionVariant ShellExtensionVariants[kShellExtensionVariants] = {
    {L"vlxext32.dll", L"{7A2C90E1-3D55-4B35-8D1F-3C6E2B905A77}", L"Vellox32", true},
    {L"vlxext.dll", L"{7A2C90E1-3D54-4B35-8D1F-3C6E2B905A77}", L"Vellox", false},
};

namespace {

// What a handler key's path is completed with, and what its value holds.
enum class PathArg { None, ClassId, Handler };
enum class Data { Empty, ClassId, ApprovedText };

struct HandlerKey {
  HKEY Root;
  const wchar_t* PathFormat;  // "%ls" stands for the PathArg
  PathArg Arg;
  bool ValueNamedByClassId;  // the Approved list: a value per class identifier, not a default
  Data Content;
};

// Keys of one variant, written in this order and removed together. The DropHandler defaults
// are shared: the variant registered last (64-bit) is the one they name.
const HandlerKey kHandlerKeys[] = {
    {HKEY_CLASSES_ROOT, L"Vellox\\shellex\\PropertySheetHandlers\\%ls", PathArg::ClassId, false,
     Data::Empty},
    {HKEY_CLASSES_ROOT, L"Vellox.ZIP\\shellex\\PropertySheetHandlers\\%ls", PathArg::ClassId, false,
     Data::Empty},
    {HKEY_CLASSES_ROOT, L"exefile\\shellex\\PropertySheetHandlers\\%ls", PathArg::ClassId, false,
     Data::Empty},
    {HKEY_CLASSES_ROOT, L"Vellox\\shellex\\DropHandler", PathArg::None, false, Data::ClassId},
    {HKEY_CLASSES_ROOT, L"Vellox.ZIP\\shellex\\DropHandler", PathArg::None, false, Data::ClassId},
    {HKEY_CLASSES_ROOT, L"Folder\\shellex\\DragDropHandlers\\%ls", PathArg::Handler, false,
     Data::ClassId},
    {HKEY_CLASSES_ROOT, L"Drive\\shellex\\DragDropHandlers\\%ls", PathArg::Handler, false,
     Data::ClassId},
    {HKEY_LOCAL_MACHINE,
     L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved", PathArg::None,
     true, Data::ApprovedText},
};

// The classic context-menu handlers, which the new shell replaces by the modern package.
const HandlerKey kContextMenuKeys[] = {
    {HKEY_CLASSES_ROOT, L"Vellox\\shellex\\ContextMenuHandlers\\%ls", PathArg::ClassId, false,
     Data::Empty},
    {HKEY_CLASSES_ROOT, L"Vellox.ZIP\\shellex\\ContextMenuHandlers\\%ls", PathArg::ClassId, false,
     Data::Empty},
    {HKEY_CLASSES_ROOT, L"*\\shellex\\ContextMenuHandlers\\%ls", PathArg::Handler, false,
     Data::ClassId},
    {HKEY_CLASSES_ROOT, L"Folder\\shellex\\ContextMenuHandlers\\%ls", PathArg::Handler, false,
     Data::ClassId},
    {HKEY_CLASSES_ROOT, L"lnkfile\\shellex\\ContextMenuHandlers\\%ls", PathArg::Handler, false,
     Data::ClassId},
};

constexpr wchar_t kApprovedText[] = L"Vellox shell extension";
constexpr wchar_t kRegisteredApplications[] = L"\\Software\\RegisteredApplications";
constexpr wchar_t kCapabilitiesPath[] = L"Software\\Vellox\\Capabilities";
constexpr size_t kKeyCapacity = 512;

struct VariantNames {
  const wchar_t* ClassId;
  const wchar_t* Handler;
};

void FormatKeyPath(const HandlerKey& key, const VariantNames& names, wchar_t* dest) {
  const wchar_t* arg = key.Arg == PathArg::ClassId   ? names.ClassId
                       : key.Arg == PathArg::Handler ? names.Handler
                                                     : L"";
  swprintf(dest, kKeyCapacity, key.PathFormat, arg);
}

void WriteKey(const HandlerKey& key, const VariantNames& names) {
  // The Approved list is the administrator's: a per-user extension needs no approval, and a
  // per-user installation does not write it.
  if (key.ValueNamedByClassId && GetInstallScope() == InstallScope::User)
    return;
  wchar_t path[kKeyCapacity];
  FormatKeyPath(key, names, path);
  const wchar_t* data = key.Content == Data::ClassId        ? names.ClassId
                        : key.Content == Data::ApprovedText ? kApprovedText
                                                            : L"";
  const wchar_t* valueName = key.ValueNamedByClassId ? names.ClassId : L"";
  (void)WriteSettingString(key.Root, path, valueName, data);  // failures are ignored
}

// A key named per variant is deleted as a single key (it stays when it gained subkeys); the
// Approved list loses only this variant's value.
void RemoveKey(const HandlerKey& key, const VariantNames& names) {
  wchar_t path[kKeyCapacity];
  FormatKeyPath(key, names, path);
  if (key.ValueNamedByClassId) {
    DeleteSettingValue(key.Root, path, names.ClassId);
  } else {
    DeleteSettingsKey(key.Root, path);
  }
}

void DeleteClassKeys(const wchar_t* classId) {
  wchar_t path[kKeyCapacity];
  swprintf(path, kKeyCapacity, L"CLSID\\%ls\\InProcServer32", classId);
  DeleteSettingsKey(HKEY_CLASSES_ROOT, path);
  swprintf(path, kKeyCapacity, L"CLSID\\%ls", classId);
  DeleteSettingsKey(HKEY_CLASSES_ROOT, path);
}

// The in-process server registration, in the registry view the caller has set.
void WriteClassKeys(const wchar_t* classId, const wchar_t* dllPath) {
  wchar_t path[kKeyCapacity];
  swprintf(path, kKeyCapacity, L"CLSID\\%ls", classId);
  (void)WriteSettingString(HKEY_CLASSES_ROOT, path, L"", L"Vellox");
  swprintf(path, kKeyCapacity, L"CLSID\\%ls\\InProcServer32", classId);
  (void)WriteSettingString(HKEY_CLASSES_ROOT, path, L"", dllPath);
  (void)WriteSettingString(HKEY_CLASSES_ROOT, path, L"ThreadingModel", L"Apartment");
}

// Splits an association table row's extension list at every point after the first character.
// Returns the position behind the extension copied into dest, or null at the end of the list.
const wchar_t* NextExtension(const wchar_t* list, wchar_t* dest, size_t capacity) {
  if (list == nullptr || *list == 0)
    return nullptr;
  size_t length = 1;
  while (list[length] != 0 && list[length] != L'.')
    ++length;
  size_t copied = length < capacity ? length : capacity - 1;
  wmemcpy(dest, list, copied);
  dest[copied] = 0;
  return list + length;
}

void WriteRegisteredApplication() {
  (void)WriteSettingString(HKEY_LOCAL_MACHINE, kRegisteredApplications, L"Vellox",
                           kCapabilitiesPath);
  (void)WriteSettingString(HKEY_LOCAL_MACHINE, L"Capabilities", L"ApplicationDescription",
                           L"Vellox");
  // Every row's extensions, whatever the user chose: the capability list says what the
  // archiver can open, not what it owns.
  for (int row = 0; row < kAssociationRows; ++row) {
    wchar_t extension[50];
    const wchar_t* rest = AssociationTable[row].Extensions;
    while ((rest = NextExtension(rest, extension, 50)) != nullptr) {
      (void)WriteSettingString(HKEY_LOCAL_MACHINE, L"Capabilities\\FileAssociations", extension,
                               AssociationTable[row].ProgId);
    }
  }
}

void RemoveMachineSettings() {
  if (GetInstallScope() == InstallScope::User) {
    // The machine's settings share the user's key then: only their own part goes here, and the
    // user's settings (with the association backups still to be read) go at the very end.
    DeleteSettingsTree(HKEY_LOCAL_MACHINE, L"Capabilities");
    DeleteSettingValue(HKEY_LOCAL_MACHINE, L"", L"exe64");
    return;
  }
  DeleteSettingsTree(HKEY_LOCAL_MACHINE, L"");
}

}  // namespace

void RegisterShellExtension(const IntegrationOptions& options, const wchar_t* dllName,
                            const wchar_t* classId, const wchar_t* handlerName, bool is32Bit) {
  const VariantNames names = {classId, handlerName};
  const REGSAM view = is32Bit ? KEY_WOW64_32KEY : 0;

  if (options.ShellExt) {
    wchar_t dllPath[kPathBufferCapacity];
    if (ProgramSiblingPath(dllName, dllPath, kPathBufferCapacity) && IsExistingFile(dllPath)) {
      const ScopedRegistryView inView(view);
      WriteClassKeys(classId, dllPath);
    }
    for (const HandlerKey& key : kHandlerKeys)
      WriteKey(key, names);
  } else {
    DeleteClassKeys(classId);
    {
      const ScopedRegistryView inView(view);
      DeleteClassKeys(classId);
    }
    for (const HandlerKey& key : kHandlerKeys)
      RemoveKey(key, names);
  }

  const bool newShell = IsNewShell();
  if (!is32Bit && newShell)
    RunContextMenuPackage(options.ShellExt != 0 ? PackageAction::Install
                                                : PackageAction::Uninstall);

  const bool classicMenu = options.ShellExt && (!newShell || options.LegacyMenu);
  for (const HandlerKey& key : kContextMenuKeys) {
    if (classicMenu) {
      WriteKey(key, names);
    } else {
      RemoveKey(key, names);
    }
  }
}

void RegisterShellExtensions(ShellExtensionAction action, const IntegrationOptions& options) {
  const bool remove = action == ShellExtensionAction::Remove;
  for (const ShellExtensionVariant& variant : ShellExtensionVariants) {
    RegisterShellExtension(options, variant.DllName, variant.ClassId, variant.HandlerName,
                           variant.Is32Bit);
  }
  if (GetWindowsVersion() >= 0x600) {
    if (remove) {
      DeleteSettingValue(HKEY_LOCAL_MACHINE, kRegisteredApplications, L"Vellox");
      RemoveMachineSettings();  // Capabilities and the App Paths "exe64" copy go with it
    } else {
      WriteRegisteredApplication();
    }
  } else if (remove) {
    RemoveMachineSettings();
  }
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}
