#pragma once
// What only the dialogs need, prepared when the first dialog is about to be created and kept
// until the end of the run: OLE on the calling thread (the rich-edit control's drag and drop),
// the rich-edit library of the settings dialog's explanation, the program's icon
// (SetupFlags.AppIcon) and the bold font of the completion dialog (SetupFlags.BoldFont). A run
// that shows no dialog (a silent one) prepares none of it.

// Prepares what is missing and fills SetupFlags.AppIcon and SetupFlags.BoldFont. Whatever cannot
// be prepared stays empty; the dialogs work without it. Call on the thread that runs dialogs.
void PrepareDialogResources();
// Releases what PrepareDialogResources prepared, on the same thread, and clears the two flags;
// does nothing when nothing was prepared.
void ReleaseDialogResources();
