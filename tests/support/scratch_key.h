#pragma once
// A fresh registry key for one test, with everything below it removed afterwards, and
// raw reads and writes for seeding and checking values.
#include <windows.h>

#include <string>

class ScratchKey {
 public:
  // Made as <root>\Software\CleanerTests\<hint>_<process>_<counter>.
  explicit ScratchKey(const std::string& hint, HKEY root = HKEY_CURRENT_USER);
  // The same path as another scratch key, under another root.
  ScratchKey(HKEY root, const ScratchKey& twin);
  ~ScratchKey();
  ScratchKey(const ScratchKey&) = delete;
  ScratchKey& operator=(const ScratchKey&) = delete;

  HKEY Root() const { return root_; }
  // The key's path below its root, without a leading `\`.
  const std::string& Path() const { return path_; }
  // The path of a key below this one ("" for this key itself).
  std::string operator/(const std::string& sub) const { return sub.empty() ? path_ : path_ + "\\" + sub; }

  // Creates the key below this one, with the keys on the way.
  void Create(const std::string& sub) const;
  bool Exists(const std::string& sub) const;
  void SetRaw(const std::string& sub, const std::string& name, DWORD type, const std::string& bytes) const;
  void SetString(const std::string& sub, const std::string& name, const std::string& text) const {
    SetRaw(sub, name, REG_SZ, text + '\0');
  }
  void SetDword(const std::string& sub, const std::string& name, DWORD value) const;
  // False when the value is missing; otherwise its type and bytes.
  bool GetRaw(const std::string& sub, const std::string& name, DWORD* type, std::string* bytes) const;
  bool HasValue(const std::string& sub, const std::string& name) const;

 private:
  HKEY root_;
  std::string path_;
};
