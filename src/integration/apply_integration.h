#pragma once
// Applying a record of integration choices as a whole, and removing all integration.

#include <cstddef>

#include "integration/integration_options.h"

enum class IntegrationResult {
  Applied,
  // The first write, the App Paths entry, was refused for lack of access: nothing was written.
  Denied,
  // The class keys were refused for lack of access; what came before them was written.
  ClassKeysDenied,
};

// Writes App Paths, shell extension, associations and "New" templates, class keys, shortcuts
// and program groups, in the current install scope. groupFolder receives the program group's
// path when one is created.
[[nodiscard]] IntegrationResult ApplyIntegration(const IntegrationOptions& options,
                                                 wchar_t* groupFolder, size_t capacity);
// Removes every piece of integration and all of the suite's settings.
void RemoveIntegration();
// The App Paths entry of the archiver, in both registry views; false when access is denied.
bool RegisterAppPaths();
