#pragma once
// Works out where the product lives: Program Files and Common Files from the registry,
// then the product's program, shared-files and Start Menu folders by the names its
// versions used.
#include "engine/cleaner_context.h"

// Sets ProgramFilesFolder, ProgramFolder, SharedFolder and StartMenuFolder; reads
// FolderStart and TraceLogOn. A registry value of a non-string type raises
// ERegistryException.
void DiscoverFolders(CleanerContext& context);

inline constexpr char kCurrentVersionKey[] = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
inline constexpr char kSharedFilesKey[] = "\\Software\\VelmoraLab\\SharedFiles";
inline constexpr char kShellFoldersKey[] =
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
// The names of the product's folders as its versions spelt them, each after a "\\".
inline constexpr char kVelmoraLab[] = "\\Velmora Lab";
inline constexpr char kCorvantix[] = "\\Corvantix";
inline constexpr char kZdnSharedFiles[] = "\\ZDN Shared Files";
inline constexpr char kQrvSharedFiles[] = "\\QRV Shared Files";
inline constexpr char kVelmoraAntiVirus[] = "\\Velmora Anti-Virus";
