#pragma once
// What a modern anti-virus product installs, seeded into the prefix beside Windows' own items and
// another program's items of the same kinds, with the rule file a careless capture would give:
// one line for every item, the product's and the others' alike. The cleaner must take the
// product's and leave the others as they were, byte for byte. Everything seeded is removed,
// and every value changed put back, when the object goes.
#include <windows.h>

#include <map>
#include <string>
#include <vector>

// Unproven: the product's, in a place where the guards do not yet find the product's evidence on
// the machine (a scheduled task, an upgrade code without the Installer's component data, a
// vendor's policies): refused with a line and kept, never taken on the strength of its text.
enum class Owner { Product, Windows, Other, Unproven };

// Everything the run may touch around the items, as text: "K:" keys, "V:" values with their
// type and data, "D:" folders, "F:" files with their size, attributes and (the fixture's own)
// bytes. Paths upper-cased as Windows compares them.
using FootprintDump = std::map<std::wstring, std::wstring>;

class Footprint {
 public:
  Footprint();
  ~Footprint();
  Footprint(const Footprint&) = delete;
  Footprint& operator=(const Footprint&) = delete;

  std::vector<std::string> RuleLines() const;
  FootprintDump Dump() const;
  // What the dump after a faithful run holds: the product's items gone, the product's filter
  // taken out of the class's list, everything else as it was.
  FootprintDump Expected(const FootprintDump& before) const;
  // The items of each owner, for a count.
  std::size_t Count(Owner owner) const;
  // The places (by what they are) whose items fared otherwise than expected between two dumps.
  std::vector<std::string> Misplaced(const FootprintDump& expected, const FootprintDump& after) const;

 private:
  struct Value {
    std::wstring name;
    DWORD type;
    std::wstring data;  // REG_MULTI_SZ: names separated by '\0'; REG_DWORD: its decimal digits
  };
  struct Item {
    Owner owner = Owner::Product;
    std::string what;
    std::string entry;     // the rule line
    int section = 0;       // 0 keys, 1 values, 2 folders, 3 files
    HKEY root = nullptr;   // registry items
    std::wstring key;      // below root
    std::wstring value;    // a value item's name
    std::wstring path;     // file system items: full path
    bool seeded = false;   // made by the fixture, removed afterwards
    bool named = true;     // the rule file names it
    std::wstring createdTop;  // the highest key the fixture made for it, removed afterwards
  };
  static Item NewItem(Owner owner, const std::string& what, const std::string& entry, int section);
  void Key(Owner owner, const std::string& what, HKEY root, const std::wstring& key, const std::vector<Value>& values);
  void ValueItem(Owner owner, const std::string& what, HKEY root, const std::wstring& key, const Value& value);
  void ExistingKey(Owner owner, const std::string& what, HKEY root, const std::wstring& key);
  void File(Owner owner, const std::string& what, const std::wstring& path, const std::string& bytesOrHelper);
  void Folder(Owner owner, const std::string& what, const std::wstring& path,
              const std::vector<std::pair<std::wstring, std::string>>& files);
  void ExistingFile(Owner owner, const std::string& what, const std::wstring& path);
  void SeedAll();

  std::vector<Item> items_;
  std::vector<std::pair<std::wstring, std::wstring>> createdFolders_;  // folder made for an item, removed afterwards
  struct Saved {
    HKEY root;
    std::wstring key, name;
    bool existed;
    DWORD type;
    std::vector<BYTE> data;
  };
  std::vector<Saved> saved_;  // values the fixture changed in Windows' keys
  std::vector<std::wstring> createdKeys_;  // below HKEY_LOCAL_MACHINE, made for a changed value
  std::wstring filterClass_;  // the device class whose filter list names the product's filter
  std::wstring programFolder_, sharedFolder_, dataFolder_, windows_, system_, programFiles_, commonFiles_;
  bool wow64_ = false;
};
