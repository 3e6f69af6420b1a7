#pragma once
// The one gateway for every change the cleaner makes to the machine. LiveEffects acts; the
// recording form (engine/gateway/recording_effects.h) only lists what would have been done. Reads
// (enumeration, existence, registry reads, snapshots) never go through here; opening a
// registry key does, for the rights it asks for.
#include <windows.h>
#include <winsvc.h>

#include <string>
#include <vector>

#include "platform/handles.h"
#include "platform/service_control_settings.h"

// Answered by a gateway that refused a change because no backup of it could be made; the
// gateway has listed the refusal itself, so the caller adds no line of its own.
inline constexpr DWORD kBackupRefusedCode = 0x20000000u | 0xBAC;  // bit 29: an application's own code

// One file or folder a whole-tree removal took away, children before their folder.
struct RemovedItem {
  std::wstring path;
  bool folder = false;
};

// Answered by DeleteOpenLeafKey for a key that has subkeys: nothing changed, nothing failed.
inline constexpr LONG kKeyHasSubkeysCode = ERROR_KEY_HAS_CHILDREN;

class Effects {
 public:
  virtual ~Effects() = default;
  // Files and folders, named in UTF-16 (in extended form where the name needs it): each
  // answers ERROR_SUCCESS or the system's error code. RemoveFile answers
  // ERROR_DELETE_PENDING where the system denies access (5) because the file is already
  // deleted but still open elsewhere.
  [[nodiscard]] virtual DWORD SetAttributes(const std::wstring& path, DWORD attributes) = 0;
  [[nodiscard]] virtual DWORD RemoveFile(const std::wstring& path) = 0;
  [[nodiscard]] virtual DWORD RemoveEmptyFolder(const std::wstring& path) = 0;
  // Deletes the child `name` of the folder open as parent (opened as itself: a link goes as
  // a link), a file or an empty folder, its attributes set to plain first when plainFirst;
  // path is its full name, for the record. Besides the system's codes it answers
  // ERROR_DELETE_PENDING as RemoveFile does, and ERROR_USER_MAPPED_FILE for a mapped image
  // (a running program, a loaded library), which is in use rather than denied. A gateway that
  // works by name does the same through SetAttributes and RemoveFile or RemoveEmptyFolder.
  [[nodiscard]] virtual DWORD RemoveChild(HANDLE parent, const std::wstring& name, const std::wstring& path,
                                          bool folder, bool plainFirst) {
    (void)parent;
    (void)name;
    if (plainFirst) (void)SetAttributes(path, FILE_ATTRIBUTE_ARCHIVE);  // a failure shows in the removal
    return folder ? RemoveEmptyFolder(path) : RemoveFile(path);
  }
  // Removes the folder tree `name` of the folder open as parent (path: its full name; opened:
  // the handle the caller checked it through) at once, where this gateway can do better than
  // item by item (the backup moves a tree whose every entry is free with one rename), and lists
  // in `removed` what went. Any other answer than ERROR_SUCCESS changed nothing: the caller
  // then removes the tree item by item.
  [[nodiscard]] virtual DWORD RemoveTree(HANDLE parent, const std::wstring& name, const std::wstring& path,
                                         HANDLE opened, std::vector<RemovedItem>& removed) {
    (void)parent, (void)name, (void)path, (void)opened, (void)removed;
    return ERROR_NOT_SUPPORTED;
  }
  // Has the system delete a file, or an empty folder, at the next restart
  // (MoveFileExW with MOVEFILE_DELAY_UNTIL_REBOOT); the system carries out such requests in
  // the order they were made.
  [[nodiscard]] virtual DWORD DeleteAtRestart(const std::wstring& path) = 0;
  // Moves a file, a link or a folder to a name that does not exist yet (never replacing
  // one); across volumes only when allowCopy is set (then a file is copied and the original
  // deleted). The backup moves what a run removes into its folder; undo moves it back.
  [[nodiscard]] virtual DWORD MoveFileTo(const std::wstring& from, const std::wstring& to, bool allowCopy) = 0;
  // Makes the folder private from its first moment (kPrivateFolderSecurity: SYSTEM and
  // Administrators only, nothing inherited, owned by Administrators) unless it exists, and
  // opens it as itself without delete sharing, so that it can be neither renamed nor replaced
  // while the handle is held; the caller judges what it opened. A gateway that acts not
  // records a folder it would make and hands back no handle for it.
  [[nodiscard]] virtual DWORD OpenPrivateFolder(const std::wstring& path, UniqueFile& folder);
  // Moves the child `name` of the folder open as parent (as itself: a link goes as a link) to
  // `targetName` in the folder open as targetFolder, on the same volume, never replacing
  // anything (ERROR_ALREADY_EXISTS); path and target are their full names. Relative to the
  // handles, no link on either path can redirect it. A gateway that works by name does the
  // same through MoveFileTo.
  [[nodiscard]] virtual DWORD MoveChild(HANDLE parent, const std::wstring& name, const std::wstring& path, bool folder,
                                        HANDLE targetFolder, const std::wstring& targetName,
                                        const std::wstring& target) {
    (void)parent, (void)name, (void)folder, (void)targetFolder, (void)targetName;
    return MoveFileTo(path, target, false);
  }
  // Moves the file or folder open as `opened` (with DELETE; path: its full name) to
  // `targetName` in the folder open as targetFolder, on the same volume, through that handle,
  // never replacing anything: what the caller read through the handle is what moves, and no
  // name swapped since can redirect it. A gateway that works by name does the same through
  // MoveFileTo.
  [[nodiscard]] virtual DWORD MoveOpen(HANDLE opened, const std::wstring& path, HANDLE targetFolder,
                                       const std::wstring& targetName, const std::wstring& target) {
    (void)opened, (void)targetFolder, (void)targetName;
    return MoveFileTo(path, target, false);
  }
  // Puts back a file's or folder's times (zero: left as they are), attributes and security
  // descriptor (SDDL; empty: left as it is) through the handle it is open as (with
  // FILE_WRITE_ATTRIBUTES, WRITE_DAC and WRITE_OWNER), so that a name swapped since cannot
  // send them to another file: ERROR_SUCCESS, or the first failure with which fact failed in
  // `failed` ("times", "attributes", "security"). A gateway that works by name does the same
  // through SetFileTimes, SetAttributes and SetSecurity.
  [[nodiscard]] virtual DWORD SetOpenFacts(HANDLE opened, const std::wstring& path, const FILETIME times[3],
                                           DWORD attributes, const std::wstring& sddl, std::string& failed);
  // Undo puts folders, times and keys back. A time of zero is left as it is: a file system
  // that keeps finer times than FILETIME's 100 ns would lose their last digits to a rewrite.
  [[nodiscard]] virtual DWORD CreateFolder(const std::wstring& path) = 0;
  [[nodiscard]] virtual DWORD SetFileTimes(const std::wstring& path, const FILETIME& creation,
                                           const FILETIME& lastAccess, const FILETIME& lastWrite) = 0;
  // Undo puts back the security descriptor (SDDL: owner, group, access list) that a removed
  // file, folder or key had. Acts, unless a layer says otherwise.
  [[nodiscard]] virtual DWORD SetSecurity(const std::wstring& path, const std::wstring& sddl);
  virtual LONG SetKeySecurity(HKEY key, const std::wstring& sddl, const std::wstring& keyName);
  // Opens the key, creating it and any missing keys above it; rights may name the view.
  virtual LONG CreateRegistryKey(HKEY base, const std::wstring& subKey, REGSAM rights, const std::wstring& keyName,
                                 UniqueHKey& key) = 0;
  // Registry, named in UTF-16: keyName is the readable full name of the key, for the record.
  // Opening is here because it asks for rights: the recording form asks only for the reading
  // part of them, and test forms refuse it as a key without those rights would. options is
  // RegOpenKeyExW's (REG_OPTION_OPEN_LINK opens a registry link as itself); rights may name
  // the view (KEY_WOW64_64KEY, KEY_WOW64_32KEY).
  virtual LONG OpenRegistryKey(HKEY base, const std::wstring& subKey, DWORD options, REGSAM rights,
                               const std::wstring& keyName, UniqueHKey& key) = 0;
  // Makes Administrators the owner of the key (opened as itself in the view given) and grants
  // them full control at the head of its access list, for a key that even the backup and
  // restore privileges do not open: ERROR_SUCCESS or the system's code. The backup layer
  // journals the descriptor the key had, for undo to put back. A gateway that cannot take it
  // over answers ERROR_ACCESS_DENIED, and the key stays as it was.
  virtual LONG TakeKeyOwnership(HKEY base, const std::wstring& subKey, REGSAM view, const std::wstring& keyName) {
    (void)base, (void)subKey, (void)view, (void)keyName;
    return ERROR_ACCESS_DENIED;
  }
  // Deletes the key itself, never a link's target: a key that is a registry link goes as a link.
  // view: 0, or the one registry view (KEY_WOW64_64KEY, KEY_WOW64_32KEY) the key lies in.
  virtual LONG DeleteRegistryKey(HKEY base, const std::wstring& subKey, REGSAM view, const std::wstring& keyName) = 0;
  // The same key deleted through key, which the caller opened as itself with DELETE (the key
  // it read is then the key that goes, in one call instead of three). A gateway that works by
  // name does the same through DeleteRegistryKey.
  virtual LONG DeleteOpenRegistryKey(HKEY key, HKEY base, const std::wstring& subKey, REGSAM view,
                                     const std::wstring& keyName) {
    (void)key;
    return DeleteRegistryKey(base, subKey, view, keyName);
  }
  // The key open as `key` (opened as itself through OpenRegistryKey, with DELETE and
  // KEY_QUERY_VALUE in the view given) deleted through that handle if it has no subkeys; one
  // with subkeys stays as it is and answers kKeyHasSubkeysCode. A tree's walk tries every key
  // so before it lists the key's subkeys: a leaf, most of a tree, then costs no question of its
  // own. This form asks the key for its subkeys and hands a leaf to DeleteRegistryKey, so that
  // what a layer adds to that call it adds here; a layer that forwards this call adds the same.
  virtual LONG DeleteOpenLeafKey(HKEY key, HKEY base, const std::wstring& subKey, REGSAM view,
                                 const std::wstring& keyName);
  virtual LONG DeleteRegistryValue(HKEY key, const std::wstring& valueName, const std::wstring& keyName) = 0;
  // Writes the value with the type and bytes given, whatever the type.
  virtual LONG WriteRegistryValue(HKEY key, const std::wstring& valueName, DWORD type,
                                  const std::vector<BYTE>& data, const std::wstring& keyName) = 0;
  // Processes: the handle is open with terminate access.
  virtual bool EndProcess(HANDLE process, UINT exitCode, const std::string& exeName) = 0;
  // Services: the handle is open with stop and query access; ERROR_SUCCESS once it is stopped.
  virtual DWORD StopService(SC_HANDLE service, const std::string& serviceName) = 0;
  // Services: the handle is open with SERVICE_CHANGE_CONFIG and SERVICE_QUERY_CONFIG; sets
  // the start type and the failure actions given. ERROR_SUCCESS or the system's error code.
  virtual DWORD ConfigureService(SC_HANDLE service, const std::string& serviceName,
                                 const ServiceSettings& settings) = 0;
};

// Passes every call on to the gateway it wraps. A layer over the gateway (the trace of the
// changes, their backup) overrides only the calls it adds something to.
class ForwardingEffects : public Effects {
 public:
  explicit ForwardingEffects(Effects& inner) : inner_(inner) {}
  DWORD SetAttributes(const std::wstring& path, DWORD attributes) override {
    return inner_.SetAttributes(path, attributes);
  }
  DWORD RemoveFile(const std::wstring& path) override { return inner_.RemoveFile(path); }
  DWORD RemoveEmptyFolder(const std::wstring& path) override { return inner_.RemoveEmptyFolder(path); }
  DWORD RemoveChild(HANDLE parent, const std::wstring& name, const std::wstring& path, bool folder,
                    bool plainFirst) override {
    return inner_.RemoveChild(parent, name, path, folder, plainFirst);
  }
  DWORD RemoveTree(HANDLE parent, const std::wstring& name, const std::wstring& path, HANDLE opened,
                   std::vector<RemovedItem>& removed) override {
    return inner_.RemoveTree(parent, name, path, opened, removed);
  }
  DWORD DeleteAtRestart(const std::wstring& path) override { return inner_.DeleteAtRestart(path); }
  DWORD MoveFileTo(const std::wstring& from, const std::wstring& to, bool allowCopy) override {
    return inner_.MoveFileTo(from, to, allowCopy);
  }
  DWORD MoveOpen(HANDLE opened, const std::wstring& path, HANDLE targetFolder, const std::wstring& targetName,
                 const std::wstring& target) override {
    return inner_.MoveOpen(opened, path, targetFolder, targetName, target);
  }
  DWORD SetOpenFacts(HANDLE opened, const std::wstring& path, const FILETIME times[3], DWORD attributes,
                     const std::wstring& sddl, std::string& failed) override {
    return inner_.SetOpenFacts(opened, path, times, attributes, sddl, failed);
  }
  DWORD OpenPrivateFolder(const std::wstring& path, UniqueFile& folder) override {
    return inner_.OpenPrivateFolder(path, folder);
  }
  DWORD MoveChild(HANDLE parent, const std::wstring& name, const std::wstring& path, bool folder, HANDLE targetFolder,
                  const std::wstring& targetName, const std::wstring& target) override {
    return inner_.MoveChild(parent, name, path, folder, targetFolder, targetName, target);
  }
  DWORD CreateFolder(const std::wstring& path) override { return inner_.CreateFolder(path); }
  DWORD SetFileTimes(const std::wstring& path, const FILETIME& creation, const FILETIME& lastAccess,
                     const FILETIME& lastWrite) override {
    return inner_.SetFileTimes(path, creation, lastAccess, lastWrite);
  }
  DWORD SetSecurity(const std::wstring& path, const std::wstring& sddl) override {
    return inner_.SetSecurity(path, sddl);
  }
  LONG SetKeySecurity(HKEY key, const std::wstring& sddl, const std::wstring& keyName) override {
    return inner_.SetKeySecurity(key, sddl, keyName);
  }
  LONG CreateRegistryKey(HKEY base, const std::wstring& subKey, REGSAM rights, const std::wstring& keyName,
                         UniqueHKey& key) override {
    return inner_.CreateRegistryKey(base, subKey, rights, keyName, key);
  }
  LONG OpenRegistryKey(HKEY base, const std::wstring& subKey, DWORD options, REGSAM rights,
                       const std::wstring& keyName, UniqueHKey& key) override {
    return inner_.OpenRegistryKey(base, subKey, options, rights, keyName, key);
  }
  LONG TakeKeyOwnership(HKEY base, const std::wstring& subKey, REGSAM view, const std::wstring& keyName) override {
    return inner_.TakeKeyOwnership(base, subKey, view, keyName);
  }
  LONG DeleteRegistryKey(HKEY base, const std::wstring& subKey, REGSAM view, const std::wstring& keyName) override {
    return inner_.DeleteRegistryKey(base, subKey, view, keyName);
  }
  LONG DeleteOpenRegistryKey(HKEY key, HKEY base, const std::wstring& subKey, REGSAM view,
                             const std::wstring& keyName) override {
    return inner_.DeleteOpenRegistryKey(key, base, subKey, view, keyName);
  }
  LONG DeleteRegistryValue(HKEY key, const std::wstring& valueName, const std::wstring& keyName) override {
    return inner_.DeleteRegistryValue(key, valueName, keyName);
  }
  LONG WriteRegistryValue(HKEY key, const std::wstring& valueName, DWORD type, const std::vector<BYTE>& data,
                          const std::wstring& keyName) override {
    return inner_.WriteRegistryValue(key, valueName, type, data, keyName);
  }
  bool EndProcess(HANDLE process, UINT exitCode, const std::string& exeName) override {
    return inner_.EndProcess(process, exitCode, exeName);
  }
  DWORD StopService(SC_HANDLE service, const std::string& serviceName) override {
    return inner_.StopService(service, serviceName);
  }
  DWORD ConfigureService(SC_HANDLE service, const std::string& serviceName, const ServiceSettings& settings) override {
    return inner_.ConfigureService(service, serviceName, settings);
  }

 protected:
  Effects& inner_;
};

class LiveEffects : public Effects {
 public:
  static LiveEffects& Instance();
  DWORD SetAttributes(const std::wstring& path, DWORD attributes) override;
  DWORD RemoveFile(const std::wstring& path) override;
  DWORD RemoveEmptyFolder(const std::wstring& path) override;
  DWORD RemoveChild(HANDLE parent, const std::wstring& name, const std::wstring& path, bool folder,
                    bool plainFirst) override;
  DWORD DeleteAtRestart(const std::wstring& path) override;
  DWORD MoveFileTo(const std::wstring& from, const std::wstring& to, bool allowCopy) override;
  DWORD OpenPrivateFolder(const std::wstring& path, UniqueFile& folder) override;
  DWORD MoveChild(HANDLE parent, const std::wstring& name, const std::wstring& path, bool folder, HANDLE targetFolder,
                  const std::wstring& targetName, const std::wstring& target) override;
  DWORD MoveOpen(HANDLE opened, const std::wstring& path, HANDLE targetFolder, const std::wstring& targetName,
                 const std::wstring& target) override;
  DWORD SetOpenFacts(HANDLE opened, const std::wstring& path, const FILETIME times[3], DWORD attributes,
                     const std::wstring& sddl, std::string& failed) override;
  DWORD CreateFolder(const std::wstring& path) override;
  DWORD SetFileTimes(const std::wstring& path, const FILETIME& creation, const FILETIME& lastAccess,
                     const FILETIME& lastWrite) override;
  LONG CreateRegistryKey(HKEY base, const std::wstring& subKey, REGSAM rights, const std::wstring& keyName,
                         UniqueHKey& key) override;
  LONG OpenRegistryKey(HKEY base, const std::wstring& subKey, DWORD options, REGSAM rights,
                       const std::wstring& keyName, UniqueHKey& key) override;
  LONG TakeKeyOwnership(HKEY base, const std::wstring& subKey, REGSAM view, const std::wstring& keyName) override;
  LONG DeleteRegistryKey(HKEY base, const std::wstring& subKey, REGSAM view, const std::wstring& keyName) override;
  LONG DeleteOpenRegistryKey(HKEY key, HKEY base, const std::wstring& subKey, REGSAM view,
                             const std::wstring& keyName) override;
  LONG DeleteOpenLeafKey(HKEY key, HKEY base, const std::wstring& subKey, REGSAM view,
                         const std::wstring& keyName) override;
  LONG DeleteRegistryValue(HKEY key, const std::wstring& valueName, const std::wstring& keyName) override;
  LONG WriteRegistryValue(HKEY key, const std::wstring& valueName, DWORD type, const std::vector<BYTE>& data,
                          const std::wstring& keyName) override;
  bool EndProcess(HANDLE process, UINT exitCode, const std::string& exeName) override;
  DWORD StopService(SC_HANDLE service, const std::string& serviceName) override;
  DWORD ConfigureService(SC_HANDLE service, const std::string& serviceName, const ServiceSettings& settings) override;
};

