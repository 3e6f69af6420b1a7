#pragma once
// The product's evidence for a file or folder. Inside Windows' places (the Windows folder,
// Windows' parts of Program Files, Common Files and ProgramData) an item goes only when the
// object itself shows it is the product's: the name it resolves to carries the product's name
// as a word, or its version resource names the product's company. The 64-bit twin of a 32-bit
// place is asked the same wherever it lies: a rule names it only by the 32-bit place.
#include <windows.h>

#include <string>

struct CleanerContext;

// Followed by the entry, " - ", what evidence was missing.
inline constexpr char kRefusedFileWithoutEvidenceText[] = "Refused to delete file without the product's evidence: ";
inline constexpr char kRefusedFolderWithoutEvidenceText[] = "Refused to delete folder without the product's evidence: ";

// True when the path (full, ordinary or extended form) lies inside Windows' places.
bool IsInWindowsPlace(CleanerContext& context, const std::wstring& path);

// What evidence the existing file or folder at path lacks, judged on what it opens (its long
// final name, its version resource); empty when it shows the product's evidence or is not there.
// everyLevel: a folder on its way that carries the product's name counts too (a twin lies in
// the twin of the product's folder, which no rule names).
std::string MissingProductEvidence(const std::wstring& path, bool folder, bool everyLevel = false);

// The same, asked only inside Windows' places: empty elsewhere.
std::string MissingEvidenceInWindowsPlace(CleanerContext& context, const std::wstring& path, bool folder);

// True, with the refused line naming the entry as shown, when the evidence is missing where it
// is needed (inside Windows' places, or everywhere for a twin).
bool RefuseWithoutEvidence(CleanerContext& context, const std::wstring& path, bool folder, const std::string& shown,
                           bool twin = false);

// The same for the file `name` in the folder open as parent (its path: path), judged by the
// path the system gives for the opened file.
bool RefuseChildWithoutEvidence(CleanerContext& context, HANDLE parent, const std::wstring& name,
                                const std::wstring& path, const std::string& shown, bool twin);

// True for a rule line the file guards refuse, which vouches for nothing it names: a protected
// folder, an item in Windows' places without the product's evidence, Windows' own file or a
// folder holding one. Nothing is reported.
bool VouchesForNothing(CleanerContext& context, const std::wstring& path, bool folder);
