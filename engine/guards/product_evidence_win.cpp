#include <windows.h>

#include "engine/guards/product_evidence_win.h"

#include <algorithm>

#include "engine/cleaner_context.h"
#include "engine/guards/folder_safety.h"
#include "engine/guards/product_words.h"
#include "engine/guards/windows_files_win.h"
#include "engine/guards/windows_places.h"
#include "platform/files/file_identity.h"
#include "platform/files/files.h"
#include "platform/files/files_paths.h"
#include "platform/files/relative_files.h"
#include "platform/handles.h"
#include "platform/text/wide_text.h"

namespace {

constexpr char kNoNameWord[] = "its name does not carry the product's name (QRV, ZDN, Velmora, Corvantix) as a word";
constexpr char kNoCompany[] = " and its version resource does not name the product's company";

std::wstring UpperOrdinary(const std::wstring& path) {
  std::wstring text = OrdinaryPath(path);
  if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

std::wstring LastNameOf(const std::wstring& path) {
  const std::wstring trimmed = WithoutTrailingBackslashes(path);
  return trimmed.substr(trimmed.find_last_of(L'\\') + 1);
}

// The full path in extended form, and what it opens as the system names it (links on the way
// followed as the deletion's own opening of the path would be; a link at the end is itself).
std::wstring ResolvedPath(const std::wstring& path, bool& exists) {
  const std::wstring full = FullPathWide(path);
  const std::wstring extended = ExtendedPath(WithoutTrailingBackslashes(OrdinaryPath(full.empty() ? path : full)));
  const auto facts = FactsOfPath(extended, false);
  exists = facts.has_value();
  return facts && !facts->finalPath.empty() ? facts->finalPath : OrdinaryPath(extended);
}

}  // namespace

bool IsInWindowsPlace(CleanerContext& context, const std::wstring& path) {
  return IsInWindowsPlace(Utf8FromWide(UpperOrdinary(path)), ProtectedFolders(context).places);
}

std::string MissingProductEvidence(const std::wstring& path, bool folder, bool everyLevel) {
  bool exists = false;
  const std::wstring resolved = ResolvedPath(path, exists);
  if (!exists) return {};
  if (CarriesProductName(LastNameOf(resolved))) return {};
  if (everyLevel) {
    const std::wstring ordinary = OrdinaryPath(resolved);
    for (std::size_t start = 0; start < ordinary.size();) {
      const std::size_t end = std::min(ordinary.find(L'\\', start), ordinary.size());
      if (CarriesProductName(std::wstring_view(ordinary).substr(start, end - start))) return {};
      start = end + 1;
    }
  }
  if (folder) return kNoNameWord;
  for (const std::wstring& company : VersionCompanies(ExtendedPath(resolved))) {
    if (NamesProductCompany(company)) return {};
  }
  return std::string(kNoNameWord) + kNoCompany;
}

std::string MissingEvidenceInWindowsPlace(CleanerContext& context, const std::wstring& path, bool folder) {
  bool exists = false;
  const std::wstring resolved = ResolvedPath(path, exists);
  if (!exists || !(IsInWindowsPlace(context, resolved) || IsInWindowsPlace(context, path))) return {};
  return MissingProductEvidence(path, folder);
}

bool RefuseWithoutEvidence(CleanerContext& context, const std::wstring& path, bool folder, const std::string& shown,
                           bool twin) {
  const std::string missing =
      twin ? MissingProductEvidence(path, folder, true) : MissingEvidenceInWindowsPlace(context, path, folder);
  if (missing.empty()) return false;
  AddInfo(context, (folder ? kRefusedFolderWithoutEvidenceText : kRefusedFileWithoutEvidenceText) + shown + " - " +
                       missing);
  return true;
}

bool RefuseChildWithoutEvidence(CleanerContext& context, HANDLE parent, const std::wstring& name,
                                const std::wstring& path, const std::string& shown, bool twin) {
  UniqueFile child;
  if (OpenChild(parent, name, FILE_READ_ATTRIBUTES, false, child) != ERROR_SUCCESS) return false;
  const std::wstring final = FinalPathOf(child.Get());
  child.Reset();
  return RefuseWithoutEvidence(context, final.empty() ? path : final, false, shown, twin);
}

bool VouchesForNothing(CleanerContext& context, const std::wstring& path, bool folder) {
  if (!MissingEvidenceInWindowsPlace(context, path, folder).empty()) return true;
  if (!folder) return !WindowsOwnFileReason(context, FullPathWide(path)).empty();
  if (IsRefusedFolder(context, path)) return true;
  return HoldsWindowsOwnFiles(context, ExtendedPath(WithoutTrailingBackslashes(FullPathWide(path))));
}
