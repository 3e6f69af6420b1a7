#include "tools/capture/capture_rules.h"

#include <algorithm>
#include <array>
#include <optional>
#include <set>
#include <vector>

#include "engine/rules/rule_file.h"
#include "engine/rules/rule_sections.h"
#include "engine/rules/rule_text_code.h"
#include "platform/errors.h"
#include "platform/text/wide_text.h"
#include "tools/capture/capture_diff.h"
#include "tools/capture/capture_noise.h"
#include "tools/capture/capture_paths.h"
#include "tools/rules/entry_check.h"
#include "tools/rules/rule_check.h"

namespace {

constexpr std::uint32_t kRegSz = 1;

// The order sections are written in: the user's renamed values back first, then values,
// keys, files and folders.
constexpr std::array<RuleSectionKind, 5> kWrittenOrder = {RuleSectionKind::RegistryMoveVal,
                                                          RuleSectionKind::RegistryDeleteVal,
                                                          RuleSectionKind::RegistryDelete, RuleSectionKind::DeleteFile,
                                                          RuleSectionKind::DeleteFolder};

const RuleSection& SectionOf(RuleSectionKind kind) {
  for (const RuleSection& section : kRuleSections) {
    if (section.kind == kind) return section;
  }
  return kRuleSections[0];
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::string DataForRemark(const ValueFacts& facts) {
  if (!facts.text.empty() || facts.size == 0) return Quoted(facts.text);
  return "type " + std::to_string(facts.type) + ", " + std::to_string(facts.size) + " bytes, hash " + facts.hash;
}

bool HoldsControlByte(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 32) return true;
  }
  return false;
}

class RuleCollector {
 public:
  RuleCollector(const SnapshotFolders& folders, SnapshotDiff& diff) : folders_(folders), diff_(diff) {}

  void Take(const SnapshotChange& change) {
    const SnapshotRecord& record = change.record;
    if (record.kind != RecordKind::Value || record.container != pendingKey_) FlushValues();
    if (parent_ && TakeInsideParent(change)) return;
    LeaveDeferred(&record.container);
    for (Deferred& enclosing : deferred_) enclosing.holdsAnything = true;
    if (IsBuiltInNoise(record, folders_)) return;
    if (change.kind == ChangeKind::Added && IsContainerRecord(record.kind)) {
      // Decided once what lies below is seen: a key or folder made only on the way to a
      // place Windows keeps for itself (Local Settings for its MuiCache) is that place's.
      diff_.DescendIntoLast();
      std::vector<std::string> refusals = Refusals(record);
      if (refusals.empty()) {
        parent_ = change;
        parentTaken_ = false;
        open_ = record.container;
      } else {
        deferred_.push_back({record.container, std::move(refusals), false});
      }
      return;
    }
    TakeDeferred();
    switch (record.kind) {
      case RecordKind::Key: TakeKey(change); break;
      case RecordKind::Value: TakeValue(change); break;
      case RecordKind::Directory: TakeFolder(change); break;
      case RecordKind::File: TakeFile(change); break;
    }
  }

  CapturedRules Finish() {
    if (parent_) LeaveParent();
    LeaveDeferred(nullptr);
    FlushValues();
    // The whole file through RuleTool check: an entry it finds anything in becomes a remark.
    // Files and folders that existed before are not the product's, so no Program Files twin
    // counts as present.
    const PathProbe nothingExists = [](const std::string&) { return false; };
    for (;;) {
      std::vector<const Entry*> byLine;
      const std::string text = Text(byLine);
      std::string stored;
      for (const std::string& line : SplitLines(text)) stored += ScrambleLine(line) + "\r\n";
      const std::vector<Finding> findings = CheckRuleFile(stored, nothingExists);
      if (findings.empty()) {
        std::size_t rules = 0;
        for (const auto& entries : entries_) rules += entries.size();
        return {text, rules, remarks_.size()};
      }
      std::set<const Entry*> refused;
      for (const Finding& finding : findings) {
        const Entry* entry = finding.line - 1 < byLine.size() ? byLine[finding.line - 1] : nullptr;
        if (entry == nullptr) throw EConvertError("captured text fails its check: " + FormatFinding(finding));
        if (refused.insert(entry).second) Remark("not captured: " + entry->shown + ": " + finding.message);
      }
      for (auto& entries : entries_) std::erase_if(entries, [&](const Entry& e) { return refused.count(&e) > 0; });
    }
  }

 private:
  struct Entry {
    std::string ansi;   // as the rule file holds it
    std::string shown;  // for remarks
  };

  static std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
      const auto end = text.find("\r\n", start);
      lines.push_back(text.substr(start, end - start));
      start = end + 2;
    }
    return lines;
  }

  std::string Text(std::vector<const Entry*>& byLine) const {
    std::string text;
    auto line = [&](const std::string& content, const Entry* entry) {
      text += content + "\r\n";
      byLine.push_back(entry);
    };
    line("; Rules captured by RuleTool capture: what the installation added, in the sections the cleaner reads.", nullptr);
    line("; Lines outside the sections are remarks; the cleaner reads them and passes over them.", nullptr);
    for (const RuleSectionKind kind : kWrittenOrder) {
      const auto& entries = entries_[static_cast<std::size_t>(kind)];
      if (entries.empty()) continue;
      const RuleSection& section = SectionOf(kind);
      line("", nullptr);
      line(std::string(section.header), nullptr);
      for (const Entry& entry : entries) line(entry.ansi, &entry);
      line(std::string(section.endMarker), nullptr);
    }
    if (!remarks_.empty()) {
      line("", nullptr);
      line("; Not written as rules:", nullptr);
      for (const std::string& remark : remarks_) line("; " + remark, nullptr);
    }
    return text;
  }

  void Remark(const std::string& text) { remarks_.push_back(StorableRemark(text)); }

  // Why the rule format or the cleaner's guards do not allow an entry, as remarks; none when
  // they do.
  static std::vector<std::string> Refusals(RuleSectionKind kind, const std::string& entry) {
    const auto ansi = Windows1251FromUtf8(entry);
    const std::string shown = Quoted(entry);
    if (!ansi) return {"not captured: " + shown + ": holds characters Windows-1251 has no byte for"};
    if (HoldsControlByte(*ansi)) {
      return {"not captured: " + shown + ": holds a control character, which a rule line cannot carry"};
    }
    if (const std::size_t column = FirstUnstorableColumn(*ansi); column != 0) {
      return {"not captured: " + shown + ": holds a letter the rule format cannot store (column " +
              std::to_string(column) + ")"};
    }
    std::vector<std::string> refusals;
    const bool whole = kind == RuleSectionKind::RegistryDelete || kind == RuleSectionKind::DeleteFolder;
    for (const std::string& finding : CheckEntry(kind, *ansi)) {
      refusals.push_back("not captured" +
                         std::string(whole ? " whole (what is new below it is captured item by item): " : ": ") + shown +
                         ": " + finding);
    }
    return refusals;
  }

  // An entry as the rule format and the cleaner's guards allow it, else a remark; false then.
  bool Add(RuleSectionKind kind, const std::string& entry) {
    const std::vector<std::string> refusals = Refusals(kind, entry);
    for (const std::string& refusal : refusals) Remark(refusal);
    if (!refusals.empty()) return false;
    const std::string ansi = *Windows1251FromUtf8(entry);
    if (written_.insert(UpperAsciiKey(kind, ansi)).second) {  // two views or users, one rule
      entries_[static_cast<std::size_t>(kind)].push_back({ansi, Quoted(entry)});
    }
    return true;
  }

  // Why a new key or folder is not written whole (or as one remark) but item by item: the
  // remarks, or one empty line for Windows Installer's levels, which need none. Empty when
  // it is written whole.
  std::vector<std::string> Refusals(const SnapshotRecord& record) const {
    if (record.kind == RecordKind::Key) {
      if (HoldsEveryProductsRegistration(record.container)) return {std::string()};
      return Refusals(RuleSectionKind::RegistryDelete, RuleKeyFor(record.container));
    }
    const RulePath rule = RulePathFor(record.container, folders_);
    return rule.text.empty() ? std::vector<std::string>() : Refusals(RuleSectionKind::DeleteFolder, rule.text);
  }

  // Remarks on the new keys and folders taken item by item that hold what is taken: one
  // that holds only noise is noise.
  void TakeDeferred() {
    for (const Deferred& deferred : deferred_) {
      for (const std::string& refusal : deferred.refusals) {
        if (!refusal.empty()) Remark(refusal);
      }
    }
    deferred_.clear();
  }

  // Drops those that do not enclose path (all without one); one that held nothing at all is
  // the installation's own, and so are those around it.
  void LeaveDeferred(const std::string* path) {
    while (!deferred_.empty() && (path == nullptr || !IsWithin(*path, deferred_.back().container))) {
      if (!deferred_.back().holdsAnything) {
        TakeDeferred();
        return;
      }
      deferred_.pop_back();
    }
  }

  // A change while a new key or folder waits for its verdict; false once it lies outside.
  bool TakeInsideParent(const SnapshotChange& change) {
    const SnapshotRecord& record = change.record;
    if (!IsWithin(record.container, parent_->record.container)) {
      LeaveParent();
      return false;
    }
    if (parentTaken_) return true;  // the parent's rule covers it
    // A key or folder that held nothing is the installation's own, and so its parent.
    if (open_ && !IsWithin(record.container, *open_)) return TakeParent();
    open_.reset();
    if (IsBuiltInNoise(record, folders_)) return true;  // the diff gives nothing below it
    if (!IsContainerRecord(record.kind)) return TakeParent();
    open_ = record.container;
    diff_.DescendIntoLast();
    return true;
  }

  bool TakeParent() {
    parentTaken_ = true;
    open_.reset();
    TakeDeferred();
    const SnapshotChange parent = *parent_;
    if (parent.record.kind == RecordKind::Key) {
      TakeKey(parent);
    } else {
      TakeFolder(parent);
    }
    return true;
  }

  void LeaveParent() {
    if (!parentTaken_ && open_) TakeParent();
    parent_.reset();
    open_.reset();
  }

  static std::string UpperAsciiKey(RuleSectionKind kind, const std::string& ansi) {
    std::string key(1, static_cast<char>('0' + static_cast<int>(kind)));
    for (const char c : ansi) key += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    return key;
  }

  void TakeKey(const SnapshotChange& change) {
    const std::string key = RuleKeyFor(change.record.container);
    if (change.kind == ChangeKind::Added) {
      Add(RuleSectionKind::RegistryDelete, key);  // a new key comes here once judged whole
    } else if (change.kind == ChangeKind::Removed) {
      Remark(Quoted(change.record.container) + " was removed by the installation: rules cannot put a key back");
    }
  }

  void TakeValue(const SnapshotChange& change) {
    pendingKey_ = change.record.container;
    if (change.kind == ChangeKind::Added) {
      added_.push_back({change.record.name, ParseValueFacts(change.record.data)});
    } else if (change.kind == ChangeKind::Removed) {
      removed_.push_back({change.record.name, ParseValueFacts(change.record.data)});
    } else {
      Remark(Quoted(change.record.container + "=" + change.record.name) + " changed from " +
             DataForRemark(ParseValueFacts(change.oldData)) + " to " + DataForRemark(ParseValueFacts(change.record.data)) +
             ": rules cannot put data back");
    }
  }

  // A value gone and another of the same type and data come in the same key: the
  // installation renamed the user's value aside, and a rename puts it back.
  void FlushValues() {
    const std::string key = RuleKeyFor(pendingKey_);
    for (const auto& removedValue : removed_) {
      const std::string& oldName = removedValue.first;
      const ValueFacts& oldFacts = removedValue.second;
      auto same = std::find_if(added_.begin(), added_.end(), [&](const auto& added) {
        return added.second.type == oldFacts.type && added.second.size == oldFacts.size &&
               added.second.hash == oldFacts.hash;
      });
      const std::string shown = Quoted(pendingKey_ + "=" + oldName);
      if (same == added_.end()) {
        Remark(shown + " was removed by the installation (data " + DataForRemark(oldFacts) +
               "): rules cannot put a value back");
        continue;
      }
      if (oldFacts.type != kRegSz) {
        Remark(shown + " was renamed to " + Quoted(same->first) + " by the installation: the cleaner renames only "
               "string values (REG_SZ), so rename it back by hand");
      } else if (oldName.find('\\') != std::string::npos || oldName.find('=') != std::string::npos ||
                 oldName.empty()) {
        Remark(shown + " was renamed to " + Quoted(same->first) +
               " by the installation: a rename rule cannot name a value whose name is empty or holds \"\\\" or \"=\"");
      } else {
        Add(RuleSectionKind::RegistryMoveVal, key + "\\" + oldName + "=" + same->first);
      }
      added_.erase(same);
    }
    for (const auto& [name, facts] : added_) Add(RuleSectionKind::RegistryDeleteVal, key + "=" + name);
    added_.clear();
    removed_.clear();
    pendingKey_.clear();
  }

  void TakePath(const SnapshotChange& change, const std::string& path, RuleSectionKind kind) {
    if (change.kind == ChangeKind::Removed) {
      Remark(Quoted(path) + " was removed by the installation: rules cannot put it back");
      return;
    }
    if (change.kind == ChangeKind::Changed) {
      if (kind == RuleSectionKind::DeleteFile) {
        Remark(Quoted(path) + " was changed by the installation: rules cannot put its old content back");
      }
      return;
    }
    const RulePath rule = RulePathFor(path, folders_);
    if (rule.text.empty()) {
      Remark("not captured: " + Quoted(path) + ": " + rule.reason);
      return;
    }
    Add(kind, rule.text);
  }

  void TakeFolder(const SnapshotChange& change) {
    TakePath(change, change.record.container, RuleSectionKind::DeleteFolder);
  }
  void TakeFile(const SnapshotChange& change) {
    TakePath(change, change.record.container + "\\" + change.record.name, RuleSectionKind::DeleteFile);
  }

  const SnapshotFolders& folders_;
  SnapshotDiff& diff_;
  std::array<std::vector<Entry>, 5> entries_;
  std::vector<std::string> remarks_;
  std::set<std::string> written_;
  std::string pendingKey_;
  std::vector<std::pair<std::string, ValueFacts>> added_;
  std::vector<std::pair<std::string, ValueFacts>> removed_;
  std::optional<SnapshotChange> parent_;  // a new key or folder waiting for its verdict
  bool parentTaken_ = false;
  std::optional<std::string> open_;  // the last key or folder below it, nothing seen inside yet
  // New keys and folders taken item by item that enclose the change at hand, with their remarks.
  struct Deferred {
    std::string container;
    std::vector<std::string> refusals;
    bool holdsAnything;
  };
  std::vector<Deferred> deferred_;
};

}  // namespace

std::string StorableRemark(std::string_view text) {
  std::string out;
  for (const wchar_t unit : WideFromUtf8(text)) {
    const auto byte = Windows1251ByteOf(unit);
    const bool storable = byte && static_cast<unsigned char>(*byte) >= 32 &&
                          FirstUnstorableColumn(std::string_view(&*byte, 1)) == 0;
    out += storable ? *byte : '?';
  }
  return out;
}

CapturedRules CaptureRules(SnapshotReader& before, SnapshotReader& after, SnapshotReader* baseline) {
  SnapshotDiff diff(before, after, baseline);
  RuleCollector collector(after.Folders(), diff);
  while (auto change = diff.Next()) collector.Take(*change);
  return collector.Finish();
}
