#pragma once
// Applying a record of integration choices as a whole, and removing all integration.

#include <cstddef>

#include "integration/integration_options.h"

// Writes App Paths, shell extension, associations and "New" templates, class keys, shortcuts
// and program groups. groupFolder receives the program group's path when one is created.
// False when the App Paths entry or the class keys could not be written for lack of access.
bool ApplyIntegration(const IntegrationOptions& options, wchar_t* groupFolder, size_t capacity);
// Removes every piece of integration and all of the suite's settings.
void RemoveIntegration();
// The App Paths entry of the archiver, in both registry views; false when access is denied.
bool RegisterAppPaths();
