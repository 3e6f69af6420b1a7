#include "report/output_file.h"

#include "platform/errors.h"
#include "platform/files/file_identity.h"
#include "platform/files/files.h"
#include "platform/files/relative_files.h"
#include "platform/security/security_descriptor.h"

namespace {

std::wstring UpperWide(std::wstring text) {
  if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

// True when the existing file at full is reached through a link: a reparse point, a file with
// more than one name (a hard link), or one whose path as the system gives it back is not its
// folder's followed by its own name (a symbolic link the system does not mark as one, as
// Wine's host links are).
bool IsReachedThroughLink(const OpenedFileFacts& file, const std::wstring& folderPath, const std::wstring& name) {
  if ((file.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || file.links > 1) return true;
  if (file.finalPath.empty()) return false;
  const auto folder = FactsOfPath(folderPath);
  if (!folder || folder->finalPath.empty()) return false;
  std::wstring expected = folder->finalPath;
  if (expected.back() != L'\\') expected += L'\\';
  return UpperWide(expected + name) != UpperWide(file.finalPath);
}

}  // namespace

OutputFile MakeOutputFile(const std::wstring& path) {
  OutputFile made;
  const std::wstring full = FullPathWide(path);
  const std::size_t split = full.find_last_of(L'\\');
  if (full.empty() || split == std::wstring::npos || split + 1 == full.size()) {
    made.error = ERROR_INVALID_NAME;
    return made;
  }
  const std::wstring folderPath = full.substr(0, split == 2 ? 3 : split);  // "C:\" keeps its backslash
  const std::wstring name = full.substr(split + 1);
  UniqueFile folder = OpenAsItself(folderPath, FILE_LIST_DIRECTORY | FILE_TRAVERSE, made.error);
  if (!folder) {
    // A missing folder is answered as the system answers a file made in one.
    if (made.error == ERROR_FILE_NOT_FOUND) made.error = ERROR_PATH_NOT_FOUND;
    return made;
  }
  if (const auto existing = FactsOfPath(full, false)) {
    if ((existing->attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (existing->attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
      made.error = ERROR_ACCESS_DENIED;  // what the system answers for a folder opened as a file
      made.folder = true;
      return made;
    }
    if (IsReachedThroughLink(*existing, folderPath, name)) {
      made.throughLink = true;
      return made;
    }
    if (const DWORD error = RemoveChildOf(folder.Get(), name, false, false); error != ERROR_SUCCESS) {
      made.error = error;
      return made;
    }
  }
  // FILE_CREATE: a name taken again since it was removed is refused, never opened.
  made.error = CreateChildFileWithSecurity(folder.Get(), name, kPrivateFileSecurity,
                                           GENERIC_WRITE | READ_CONTROL, made.file);
  return made;
}

std::string OutputFileProblem(const OutputFile& made) {
  if (made.throughLink) return "it is a link or has more than one name";
  if (made.folder) return "it is a folder";
  return EInOutError::MessageFor(static_cast<int>(made.error));
}
