#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "backup/backup_journal.h"
#include "backup/undo_steps.h"
#include "platform/effects.h"
#include "platform/security/security_descriptor.h"
#include "platform/text/wide_text.h"
#include "tests/support/engine_test_support.h"
#include "tests/support/windows_descriptors.h"
#include "tests/support/wine_test_support.h"

namespace {

// Windows enforces what Wine does not: once a folder's restrictive access list is back, nothing
// more can be made in it. This gateway records the order security is put back in and answers
// as Windows would for a folder below one already closed.
class ClosingEffects : public LiveEffects {
 public:
  std::vector<std::wstring> secured;
  DWORD SetSecurity(const std::wstring& path, const std::wstring&) override {
    for (const std::wstring& closed : secured) {
      if (path.starts_with(closed + L"\\")) return ERROR_ACCESS_DENIED;
    }
    secured.push_back(path);
    return ERROR_SUCCESS;
  }
};

}  // namespace

// Windows: a tree whose top had an access list that lets nobody add to it (a product's locked
// folder). Undo makes the folders again and puts their security back once everything is in
// place, the deepest first; the top's, put back first, would keep its children's out.
TEST(UndoSecurity, FoldersGetTheirSecurityBackChildrenFirst) {
  ScratchFolder scratch("undosec");
  const std::string top = scratch / "Locked", middle = top + "\\Data", deepest = middle + "\\Cache";
  MakeFolders(deepest);
  ClosingEffects effects;
  EngineTestContext test(effects);
  UndoSteps steps(test.context, WideFromAnsi(scratch.Path()));
  // Newest first, as undo meets them: the top was deleted last.
  for (const std::string& folder : {top, middle, deepest}) {
    JournalEntry entry;
    entry.kind = JournalKind::Folder;
    entry.path = WideFromAnsi(folder);
    entry.security = windows_descriptors::kPrivateByScript;
    steps.PutSecurityLater(entry);
  }
  EXPECT_EQ(effects.secured, std::vector<std::wstring>{}) << "nothing before everything is in place";
  steps.PutLaterSecurity();
  EXPECT_EQ(effects.secured,
            (std::vector<std::wstring>{WideFromAnsi(deepest), WideFromAnsi(middle), WideFromAnsi(top)}));
  EXPECT_EQ(test.context.outcome.notRemoved, 0);
}

// The integrity label is the part of the SACL that needs no audit privilege: a descriptor with
// one is written with its label (a low-integrity folder of a product stays low after undo), one
// without leaves the label as it is.
TEST(UndoSecurity, AnIntegrityLabelIsWrittenBackWithTheDescriptor) {
  const struct {
    const char* windowsCase;
    std::wstring sddl;
    SECURITY_INFORMATION parts;
  } cases[] = {
      {"a folder labelled low integrity (LocalLow)", L"O:BAD:(A;OICI;FA;;;BA)S:(ML;OICI;NW;;;LW)",
       OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION},
      {"a key with no label", L"O:BAG:SYD:(A;CI;KA;;;BA)",
       OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION},
      {"an access list alone", windows_descriptors::kEveryoneMutex, DACL_SECURITY_INFORMATION},
      {"not a descriptor", L"garbage", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(SecurityPartsOf(c.sddl), c.parts) << c.windowsCase;
}
