#pragma once
// Deleting folder trees and links without ever reaching through a link.
//
// A reparse point (a junction or a symbolic link) found anywhere is removed as the link itself;
// whatever it points to is left untouched. When the system cannot open the link itself (it
// follows the link instead), the link is left in place rather than risking its target.

// Deletes the folder with everything in it. Does nothing unless the path exists, is a folder
// and is not itself a reparse point. Files are made writable before they are deleted; nothing
// goes to the recycle bin, and failures are ignored (whatever cannot be deleted stays).
void RemoveFolderTree(const wchar_t* folder);

// Deletes the reparse point at path (a link to a folder or a file) as a link. False when the
// path could not be opened as the link itself, was not a reparse point or could not be deleted.
bool RemoveReparsePointItself(const wchar_t* path);
