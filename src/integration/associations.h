#pragma once
// Class keys (ProgIDs) and file associations, with backup and exact give-back of whatever
// another program owned before.

#include "integration/integration_options.h"

// Registers the archiver's class keys; false when access to HKEY_CLASSES_ROOT is denied.
bool RegisterProgIds();
// AssociateExtension for every extension of every row of the association table, in order.
void AssociateAll(const IntegrationOptions& options);
// Takes one extension over (with a backup of its former owner) or gives it back.
void AssociateExtension(const wchar_t* extension, bool associate, bool shellIntegration,
                        bool ownFormat, bool zip);
