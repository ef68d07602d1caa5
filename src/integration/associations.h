#pragma once
// Class keys (ProgIDs) and file associations, with backup and exact give-back of whatever
// another program owned before.
//
// Backups live in the per-user settings under "Setup\<extension>": "Exist" (whether
// HKEY_CLASSES_ROOT\<extension> existed before the archiver took it; missing reads as 1),
// "Type" (its former default value) and "ShellNew" (its former "New" entry, see
// new_templates.h). A backup is taken only while the extension is not the archiver's, so
// repeated applies keep what was there before the first one. An extension that another
// program has taken meanwhile is never touched by a give-back.

#include "integration/integration_options.h"

// Registers the class keys "Vellox", "Vellox.ZIP" and "Vellox.REV" (description, open
// command, and an icon only where none is set) and points ".rev" at "Vellox.REV", after
// backing up its former owner under "Setup\.rev" as for any extension.
// False, with nothing written, when the first write is refused with ERROR_ACCESS_DENIED;
// every other failure is ignored.
bool RegisterProgIds();

// What AssociateExtension does with one extension: kAssociate and any of the others or'd
// together; kGiveBack alone gives a plain extension back.
enum AssociateFlag : unsigned {
  kGiveBack = 0,
  kAssociate = 1u << 0,         // point it at the archiver; without it, give it back
  kShellIntegration = 1u << 1,  // shell integration is on: a "New" template may be installed
  kOwnFormat = 1u << 2,         // the archiver's own format, with its volume extensions
  kZipFormat = 1u << 3,         // ZIP, pointed at "Vellox.ZIP"
};
using AssociateFlags = unsigned;

// AssociateExtension for every extension of every row of the association table, in table
// order and within a row in list order: kAssociate by the row's flag, kShellIntegration by the
// record's ShellExt, kOwnFormat for row 0 and kZipFormat for row 1.
void AssociateAll(const IntegrationOptions& options);

// One extension. With kAssociate: backs up the former owner (unless the extension is already
// the archiver's) and points it at "Vellox.ZIP" (kZipFormat) or "Vellox"; for the own format
// also the volume extensions .r00 to .r29; installs the "New" template for the own format or
// ZIP when shell integration and the template's menu item are on. Without kAssociate and the
// extension still the archiver's: writes the backup back (a previously absent extension is
// deleted again) and, for the own format, gives the volume extensions .r00 to .r99 back. For
// the own format and ZIP the former "New" entry is restored whenever the template is not (or
// no longer) wanted. Failures are ignored.
void AssociateExtension(const wchar_t* extension, AssociateFlags flags);

// Gives ".ace", a type no longer in the association table, back to its former owner when it
// still points at the archiver; otherwise leaves it alone.
void ReleaseAceAssociation();

// Gives ".rev" back while it still names "Vellox.REV" (in any letter case): its former default
// value, or, when it did not exist before or no backup was taken, the key deleted only if
// nothing else lives below it (its default value cleared otherwise). A ".rev" that another
// program has taken meanwhile is left as it is. Reads the backup, so it must run before the
// per-user settings are deleted.
void ReleaseRevAssociation();
