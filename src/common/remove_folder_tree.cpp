#include "common/remove_folder_tree.h"

#include <windows.h>

#include <memory>
#include <new>
#include <cwchar>

#include "common/file.h"
#include "common/file_changes.h"
#include "common/path_util.h"
#include "common/string_util.h"
#include "common/win_handles.h"

namespace {

constexpr DWORD kClearableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                       FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_TEMPORARY |
                                       FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

void MakeDeletable(const wchar_t* path, DWORD attributes) {
  if ((attributes & kClearableAttributes) != 0) {
    (void)SetAttributes(path, FILE_ATTRIBUTE_NORMAL);  // a failure shows at the delete
  }
}

// Deletes what the folder holds, then the folder. Each level keeps only its search handle and
// one name on the heap: a tree may be as deep as a 2048-character path allows.
void RemoveTreeBelow(const wchar_t* folder, DWORD attributes) {
  std::unique_ptr<wchar_t[]> path(new (std::nothrow) wchar_t[kPathBufferCapacity]);
  std::unique_ptr<WIN32_FIND_DATAW> found(new (std::nothrow) WIN32_FIND_DATAW);
  if (path && found) {
    JoinPath(folder, L"*", path.get(), kPathBufferCapacity);
    // A mask cut short would search some other folder.
    if (std::wcscmp(FileNamePart(path.get()), L"*") == 0) {
      UniqueFindHandle find(FindFirstFileExW(path.get(), FindExInfoBasic, found.get(),
                                             FindExSearchNameMatch, nullptr,
                                             FIND_FIRST_EX_LARGE_FETCH));
      bool more = find.valid();
      while (more) {
        const wchar_t* name = found->cFileName;
        bool dots = name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
        DWORD entryAttributes = found->dwFileAttributes;
        JoinPath(folder, name, path.get(), kPathBufferCapacity);
        bool whole = std::wcscmp(FileNamePart(path.get()), name) == 0;
        if (!dots && whole) {
          bool link = (entryAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
          if (!link && (entryAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            // Looked at again by name before descending, so that a link the search did not
            // report as one is still never entered.
            DWORD now = GetFileAttributesW(path.get());
            link = now == INVALID_FILE_ATTRIBUTES || (now & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            if (now != INVALID_FILE_ATTRIBUTES)
              entryAttributes = now;
          }
          if (link) {
            (void)RemoveReparsePointItself(path.get());  // a link that stays keeps the folder
          } else if ((entryAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            RemoveTreeBelow(path.get(), entryAttributes);
          } else {
            MakeDeletable(path.get(), entryAttributes);
            (void)RemoveFile(path.get());  // what cannot be deleted stays
          }
        }
        more = FindNextFileW(find.get(), found.get()) != FALSE;
      }
    }
  }
  MakeDeletable(folder, attributes);
  (void)RemoveEmptyFolder(folder);  // fails while anything is left inside
}

}  // namespace

void RemoveFolderTree(const wchar_t* folder) {
  DWORD attributes = GetFileAttributesW(folder);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return;
  }
  RemoveTreeBelow(folder, attributes);
}

bool RemoveReparsePointItself(const wchar_t* path) {
  // FILE_FLAG_OPEN_REPARSE_POINT opens the link, not its target. Whether the system honoured
  // that is checked on the handle: only a handle that itself carries the reparse attribute is
  // marked for deletion.
  UniqueFileHandle link(CreateFileW(
      path, DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!link)
    return false;
  FILE_ATTRIBUTE_TAG_INFO tag = {};
  if (!GetFileInformationByHandleEx(link.get(), FileAttributeTagInfo, &tag, sizeof(tag)) ||
      (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return false;
  }
  FILE_DISPOSITION_INFO disposition = {};
  disposition.DeleteFile = TRUE;
  if (!SetFileInformationByHandle(link.get(), FileDispositionInfo, &disposition,
                                  sizeof(disposition))) {
    return false;
  }
  // The link goes when its handle closes, just below.
  RecordFileChange((tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? ChangeKind::FolderDeleted
                                                                        : ChangeKind::FileDeleted,
                   path, nullptr, L"link");
  return true;
}
