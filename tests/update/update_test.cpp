// The all-or-nothing update on a real folder, without any server: the
// journal's text, the plan, the undo of a switch that fails, and the
// finishing of a run ended part-way. The package is the fault site's
// (real zip tools made it); the installation is 1.2.3.0's.
#include <windows.h>
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "disk/install_folder.h"
#include "support/fault_plan.h"
#include "support/old_installation.h"
#include "support/server_control.h"
#include "support/test_paths.h"
#include "update/journal_codec.h"
#include "update/update_plan.h"
#include "update/update_recovery.h"
#include "update/update_switch.h"
#include "zip/unzipper.h"

namespace {

std::wstring Text(const WStr& text) { return std::wstring(text.c_str(), text.size()); }

SwitchStep Step(StepKind kind, const wchar_t* target, const wchar_t* backup,
                const wchar_t* staged) {
  SwitchStep step;
  step.kind = kind;
  step.target = target;
  step.backup = backup;
  step.staged = staged;
  return step;
}

TEST(JournalCodec, StepsAndPhasesComeBackAsWritten) {
  Journal journal;
  journal.madeUpdateFolder = true;
  journal.steps.Push(Step(StepKind::kFolder, L"lib", L"Update\\Backup1.2.3\\lib", L""));
  journal.steps.Push(Step(StepKind::kFile, L"lib\\a b.dll", L"", L"Update\\Incoming\\0\\3.new"));
  journal.staged = true;
  journal.undoing = true;
  const WStr folder(L"C:\\Quelda\\");
  WStr text = EncodeJournal(journal, folder);
  // What a setup wrote before and will read after: the format is kept.
  EXPECT_EQ(Text(text),
            L"QueldaUpdateJournal 2\nfolder\tC:\\Quelda\\\nmade-update\n"
            L"step\tlib\tUpdate\\Backup1.2.3\\lib\t\n"
            L"step\tlib\\a b.dll\t\tUpdate\\Incoming\\0\\3.new\nend\nstaged\nundoing\n");
  Journal read;
  ASSERT_TRUE(DecodeJournal(text, WStr(L"c:\\quelda\\"), &read));
  EXPECT_TRUE(read.madeUpdateFolder && read.staged && read.undoing);
  EXPECT_FALSE(read.switched);
  ASSERT_EQ(read.steps.size(), 2u);
  EXPECT_EQ(read.steps[0].kind, StepKind::kFolder);
  EXPECT_EQ(Text(read.steps[0].backup), L"Update\\Backup1.2.3\\lib");
  EXPECT_EQ(read.steps[1].kind, StepKind::kFile);
  EXPECT_EQ(Text(read.steps[1].target), L"lib\\a b.dll");
  EXPECT_EQ(Text(read.steps[1].staged), L"Update\\Incoming\\0\\3.new");

  // A new folder placed whole takes the form of its own, which a setup
  // that knows only the first refuses instead of making its steps one by
  // one.
  Journal trees;
  trees.steps.Push(Step(StepKind::kTree, L"lib", L"", L"Update\\Incoming\\t0"));
  trees.steps.Push(Step(StepKind::kFile, L"lib\\a.dll", L"", L"Update\\Incoming\\t0\\a.dll"));
  trees.steps[1].inTree = true;
  trees.steps.Push(Step(StepKind::kFile, L"b.dll", L"", L"Update\\Incoming\\0\\3.new"));
  WStr treeText = EncodeJournal(trees, folder);
  EXPECT_EQ(Text(treeText),
            L"QueldaUpdateJournal 3\nfolder\tC:\\Quelda\\\n"
            L"step\tlib\t\tUpdate\\Incoming\\t0\ttree\n"
            L"step\tlib\\a.dll\t\tUpdate\\Incoming\\t0\\a.dll\tin-tree\n"
            L"step\tb.dll\t\tUpdate\\Incoming\\0\\3.new\t\nend\n");
  ASSERT_TRUE(DecodeJournal(treeText, folder, &read));
  ASSERT_EQ(read.steps.size(), 3u);
  EXPECT_EQ(read.steps[0].kind, StepKind::kTree);
  EXPECT_EQ(Text(read.steps[0].staged), L"Update\\Incoming\\t0");
  EXPECT_TRUE(read.steps[1].kind == StepKind::kFile && read.steps[1].inTree);
  EXPECT_TRUE(read.steps[2].kind == StepKind::kFile && !read.steps[2].inTree);

  // A mark whose line end never landed counts for nothing.
  WStr cut = text.Substr(0, text.size() - 1);
  ASSERT_TRUE(DecodeJournal(cut, folder, &read));
  EXPECT_FALSE(read.undoing);
  // No journal of this setup's: cut before its end, another header or
  // folder, a line of another form, a step without a target, a tree in the
  // first form, a mark of another kind, a tree staged outside.
  const std::wstring head = L"QueldaUpdateJournal 2\nfolder\tC:\\Quelda\\\n";
  const std::wstring tree = L"QueldaUpdateJournal 3\nfolder\tC:\\Quelda\\\n";
  for (const std::wstring& other :
       {head + L"step\ta\t\t\n", std::wstring(L"QueldaUpdateJournal 1\nend\n"),
        std::wstring(L"QueldaUpdateJournal 2\nfolder\tD:\\Quelda\\\nend\n"),
        head + L"move\ta\tb\tc\nend\n", head + L"step\t\tb\tc\nend\n",
        head + L"step\ta\t\tUpdate\\Incoming\\t0\ttree\nend\n",
        tree + L"step\ta\t\tUpdate\\Incoming\\t0\tother\nend\n",
        tree + L"step\ta\t\tUpdate\\t0\ttree\nend\n",
        std::wstring()}) {
    EXPECT_FALSE(DecodeJournal(WStr(other.c_str()), folder, &read))
        << testing::PrintToString(other);
  }
}

TEST(JournalCodec, OnlyStepsInsideTheSetupsOwnPlacesAreTaken) {
  const wchar_t* incoming = L"Update\\Incoming\\0\\1.new";
  EXPECT_TRUE(StepConfined(Step(StepKind::kFile, L"lib\\a.dll", L"Update\\Backup1.2\\a.dll", incoming)));
  EXPECT_TRUE(StepConfined(Step(StepKind::kFile, L"a.txt", L"Update\\Incoming\\s0\\2.old", incoming)));
  EXPECT_TRUE(StepConfined(Step(StepKind::kFile, L"Quelda.mdb", L"", L"Quelda.mdb.download")));
  EXPECT_TRUE(StepConfined(Step(StepKind::kFolder, L"lib", L"", L"")));
  const SwitchStep outside[] = {
      Step(StepKind::kFile, L"..\\..\\AppData\\Roaming\\evil.bat", L"", incoming),
      Step(StepKind::kFile, L"lib\\..\\..\\evil.bat", L"", incoming),
      Step(StepKind::kFile, L"C:\\Windows\\evil.dll", L"", incoming),
      Step(StepKind::kFile, L"\\Windows\\evil.dll", L"", incoming),
      Step(StepKind::kFile, L"a.txt:stream", L"", incoming),
      Step(StepKind::kFile, L"lib/a.dll", L"", incoming),
      Step(StepKind::kFile, L"CON", L"", incoming),
      Step(StepKind::kFile, L"", L"", incoming),
      Step(StepKind::kFile, L"a.txt", L"Update\\Backup1.2\\..\\..\\..\\x", incoming),
      Step(StepKind::kFile, L"a.txt", L"a.bak", incoming),
      Step(StepKind::kFile, L"a.txt", L"", L"..\\outside\\evil.exe"),
      Step(StepKind::kFile, L"a.txt", L"", L"b.txt"),
      Step(StepKind::kFile, L"Quelda.exe", L"", L"Quelda.mdb.download"),
      Step(StepKind::kFolder, L"..\\x", L"", L""),
  };
  for (const SwitchStep& step : outside) {
    EXPECT_FALSE(StepConfined(step)) << Text(step.target).c_str() << " " << Text(step.backup).c_str()
                                     << " " << Text(step.staged).c_str();
  }
}

class UpdateOnDisk : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = MakeScratchDir(L"update_on_disk");
    MakeOldInstallation(folder_);
    package_ = TestSite(L"fault") + L"\\zirorov.zip";
    archive_.Reset(OpenArchiveFile(package_.c_str()));
    ASSERT_TRUE(archive_);
    ZipItem summary;
    ASSERT_EQ(GetArchiveItem(archive_.get(), -1, &summary), 0);
    items_ = summary.index;
  }
  void TearDown() override { SetFaultPlan(FaultMode::kNone, 0); }

  Outcome Plan(UpdatePlan* plan) {
    return PlanUpdate(InstallFolder(folder_.c_str()), archive_.get(), items_,
                      WStr(L"Update\\Backup1.2.3\\"), WStr(), plan);
  }

  std::wstring folder_, package_;
  ScopedArchive archive_;
  int items_ = 0;
  long calls_ = 0;
};

TEST_F(UpdateOnDisk, ThePlanChangesNothingAndSaysWhatEachStepIs) {
  const Tree before = Snapshot(folder_);
  UpdatePlan plan;
  ASSERT_TRUE(Plan(&plan).done());
  EXPECT_EQ(Snapshot(folder_), before);
  EXPECT_GT(plan.stagedBytes, 0u);
  ASSERT_FALSE(plan.ownFolders.empty());
  EXPECT_EQ(Text(plan.ownFolders[0]), L"Update\\Incoming\\0");
  int files = 0, backups = 0, inTrees = 0;
  // A new folder whose parent stands is staged whole; what lies in it is
  // staged in it, under its own name.
  std::map<std::wstring, std::wstring> staged;
  for (const SwitchStep& step : plan.journal.steps) {
    std::wstring target = Text(step.target), backup = Text(step.backup);
    bool existed = before.count(L"\\" + target) > 0;
    SCOPED_TRACE(testing::PrintToString(target));
    size_t slash = target.rfind(L'\\');
    std::wstring parent = slash == std::wstring::npos ? L"" : target.substr(0, slash);
    if (step.kind == StepKind::kTree) {
      staged[target] = Text(step.staged);
      EXPECT_EQ(Text(step.staged).rfind(L"Update\\Incoming\\t", 0), 0u);
    } else if (step.inTree) {
      ++inTrees;
      ASSERT_EQ(staged.count(parent), 1u);
      staged[target] = staged[parent] + target.substr(slash);
      if (step.kind == StepKind::kFile) {
        EXPECT_EQ(Text(step.staged), staged[target]);
      }
    }
    if (step.kind == StepKind::kFile) {
      ++files;
      ASSERT_GE(step.item, 0);
      if (!step.inTree) {
        EXPECT_EQ(Text(step.staged), Text(StagedName(step.item)));
      }
    } else {
      EXPECT_EQ(step.item, -1);
      EXPECT_EQ(step.staged.empty(), step.kind == StepKind::kFolder);
    }
    // Whatever is in the way is backed up, and nothing else.
    EXPECT_EQ(!backup.empty(), existed);
    if (!backup.empty()) {
      ++backups;
      EXPECT_TRUE(backup.rfind(L"Update\\Backup1.2.3\\", 0) == 0 ||
                  backup.rfind(L"Update\\Incoming\\s", 0) == 0)
          << testing::PrintToString(backup);
    }
  }
  EXPECT_GT(files, 0);
  EXPECT_GE(inTrees, 10) << "the new folders' files";
  EXPECT_GE(backups, 9) << "every file the package replaces";
}

TEST_F(UpdateOnDisk, InADeepFolderATreeKeepsToThePathsWindowsTakes) {
  // A folder as deep as the backups of this package allow: staged whole,
  // plugins\report would lie past CreateDirectory's limit, and is staged as
  // a tree of its own.
  std::wstring base = MakeScratchDir(L"update_deep");
  const size_t deep = 228;
  ASSERT_LT(base.size() + 2, deep);
  folder_ = base + L"\\" + std::wstring(deep - base.size() - 1, L'd');
  ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
  MakeOldInstallation(folder_);
  InstallFolder folder(folder_.c_str());
  const size_t root = folder.Path(L"").size();
  UpdatePlan plan;
  ASSERT_TRUE(Plan(&plan).done());
  for (const WStr& own : plan.ownFolders) {
    EXPECT_LE(root + own.size(), static_cast<size_t>(MAX_PATH - 13)) << Text(own).c_str();
  }
  int trees = 0;
  for (const SwitchStep& step : plan.journal.steps) {
    trees += step.kind == StepKind::kTree;
    EXPECT_LE(root + step.staged.size(), static_cast<size_t>(MAX_PATH - 1));
  }
  EXPECT_GE(trees, 6);
  ASSERT_TRUE(ApplyUpdate(folder, archive_.get(), WStr(package_.c_str()), &plan).done());
  EXPECT_EQ(ReadFileBytes(folder_ + L"\\plugins\\report\\report.ini"),
            ReadFileBytes(TestSite(L"fault_expected") + L"\\plugins\\report\\report.ini"));
}

TEST_F(UpdateOnDisk, ATreeThatCannotMoveWholeIsPlacedPartByPart) {
  // The folder of a tree made after the plan (Windows refuses the tree's
  // move in the same way while a scanner holds a file in it; Wine moves a
  // folder whatever is open in it): the tree's folders and files go in one
  // by one, beside what the folder holds.
  UpdatePlan plan;
  ASSERT_TRUE(Plan(&plan).done());
  bool tree = false;
  for (const SwitchStep& step : plan.journal.steps) {
    tree = tree || (step.kind == StepKind::kTree && step.target == L"tools");
  }
  ASSERT_TRUE(tree);
  ASSERT_TRUE(CreateDirectoryW((folder_ + L"\\tools").c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(folder_ + L"\\tools\\mine.txt", "the user's own"));
  ASSERT_TRUE(ApplyUpdate(InstallFolder(folder_.c_str()), archive_.get(), WStr(package_.c_str()), &plan)
                  .done());
  EXPECT_EQ(ReadFileBytes(folder_ + L"\\tools\\convert.exe"),
            ReadFileBytes(TestSite(L"fault_expected") + L"\\tools\\convert.exe"));
  EXPECT_EQ(ReadFileBytes(folder_ + L"\\tools\\mine.txt"), "the user's own");
  EXPECT_FALSE(FileExists(folder_ + L"\\Update\\Incoming"));
}

TEST_F(UpdateOnDisk, ASwitchThatFailsIsUndoneByteForByte) {
  const Tree before = Snapshot(folder_);
  // The calls of one whole update, on a copy of the installation.
  {
    std::wstring copy = folder_;
    folder_ = MakeScratchDir(L"update_on_disk_count");
    MakeOldInstallation(folder_);
    UpdatePlan plan;
    ASSERT_TRUE(Plan(&plan).done());
    SetFaultPlan(FaultMode::kNone, 0);
    ASSERT_TRUE(
        ApplyUpdate(InstallFolder(folder_.c_str()), archive_.get(), WStr(package_.c_str()), &plan)
            .done());
    calls_ = FaultCalls(0);
    folder_ = copy;
  }
  ASSERT_GT(calls_, 20);
  // Late in the run: the switch has begun. Then at the very first call.
  for (long at : {calls_ - 4, 1L}) {
    SCOPED_TRACE(at);
    UpdatePlan plan;
    ASSERT_TRUE(Plan(&plan).done());
    SetFaultPlan(FaultMode::kFail, at);
    Outcome outcome =
        ApplyUpdate(InstallFolder(folder_.c_str()), archive_.get(), WStr(package_.c_str()), &plan);
    SetFaultPlan(FaultMode::kNone, 0);
    ASSERT_TRUE(outcome.failed());
    EXPECT_FALSE(outcome.pending());
    EXPECT_EQ(Snapshot(folder_), before) << Differences(before, Snapshot(folder_));
  }
}

class RunEndedPartWay : public testing::Test {
 protected:
  // An old file, its new one staged, and the journal of the one step that
  // replaces it, as a run ended at that point left them.
  void SetUp() override {
    folder_ = MakeScratchDir(L"update_ended");
    ASSERT_TRUE(WriteFileBytes(folder_ + L"\\a.txt", "old"));
    ASSERT_TRUE(CreateDirectoryW((folder_ + L"\\Update").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((folder_ + L"\\Update\\Backup1.0").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((folder_ + L"\\Update\\Incoming").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((folder_ + L"\\Update\\Incoming\\0").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(folder_ + L"\\Update\\Incoming\\0\\0.new", "new"));
    journal_.steps.Push(Step(StepKind::kFile, L"a.txt", L"Update\\Backup1.0\\a.txt",
                             L"Update\\Incoming\\0\\0.new"));
  }
  bool Finish() {
    InstallFolder folder(folder_.c_str());
    EXPECT_TRUE(WriteJournal(folder, journal_));
    return FinishUnfinishedUpdate(folder);
  }
  bool Exists(const wchar_t* path) { return FileExists(folder_ + path); }

  std::wstring folder_;
  Journal journal_;
};

TEST_F(RunEndedPartWay, EveryFileStagedGoesForward) {
  journal_.staged = true;
  ASSERT_TRUE(Finish());
  EXPECT_EQ(ReadFileBytes(folder_ + L"\\a.txt"), "new");
  EXPECT_EQ(ReadFileBytes(folder_ + L"\\Update\\Backup1.0\\a.txt"), "old");
  EXPECT_FALSE(Exists(L"\\Update\\Incoming"));
  EXPECT_FALSE(Exists(L"\\Update\\Update.journal"));
}

TEST_F(RunEndedPartWay, NotAllStagedOrBeingUndoneGoesBack) {
  // Ended before the staged mark: the staged file may be half written.
  ASSERT_TRUE(Finish());
  EXPECT_EQ(ReadFileBytes(folder_ + L"\\a.txt"), "old");
  EXPECT_FALSE(Exists(L"\\Update\\Backup1.0\\a.txt"));
  EXPECT_FALSE(Exists(L"\\Update\\Incoming"));
  EXPECT_FALSE(Exists(L"\\Update\\Update.journal"));

  // Ended while an undo had the old file in the backup folder still.
  SetUp();
  ASSERT_TRUE(
      MoveFileW((folder_ + L"\\a.txt").c_str(), (folder_ + L"\\Update\\Backup1.0\\a.txt").c_str()));
  journal_.staged = true;
  journal_.undoing = true;
  ASSERT_TRUE(Finish());
  EXPECT_EQ(ReadFileBytes(folder_ + L"\\a.txt"), "old");
  EXPECT_FALSE(Exists(L"\\Update\\Backup1.0\\a.txt"));
  EXPECT_FALSE(Exists(L"\\Update\\Update.journal"));
}

TEST_F(RunEndedPartWay, ATreeGoesForwardWholeAndBackFileByFile) {
  // A new folder lib with lib\sub\b.txt, staged whole.
  auto stageTree = [&] {
    ASSERT_TRUE(CreateDirectoryW((folder_ + L"\\Update\\Incoming\\t0").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((folder_ + L"\\Update\\Incoming\\t0\\sub").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(folder_ + L"\\Update\\Incoming\\t0\\sub\\b.txt", "b"));
    journal_.steps.Push(Step(StepKind::kTree, L"lib", L"", L"Update\\Incoming\\t0"));
    journal_.steps.Push(Step(StepKind::kFolder, L"lib\\sub", L"", L""));
    journal_.steps.Push(
        Step(StepKind::kFile, L"lib\\sub\\b.txt", L"", L"Update\\Incoming\\t0\\sub\\b.txt"));
    journal_.steps[journal_.steps.size() - 2].inTree = true;
    journal_.steps[journal_.steps.size() - 1].inTree = true;
  };
  stageTree();
  journal_.staged = true;
  ASSERT_TRUE(Finish());
  EXPECT_EQ(ReadFileBytes(folder_ + L"\\lib\\sub\\b.txt"), "b");
  EXPECT_EQ(ReadFileBytes(folder_ + L"\\a.txt"), "new");
  EXPECT_FALSE(Exists(L"\\Update\\Incoming"));

  // Ended while it was undone, after the tree had been placed and the user
  // had put a file of his own in it: his file stays, with its folders.
  journal_ = Journal();
  SetUp();
  stageTree();
  ASSERT_TRUE(MoveFileW((folder_ + L"\\Update\\Incoming\\t0").c_str(), (folder_ + L"\\lib").c_str()));
  ASSERT_TRUE(WriteFileBytes(folder_ + L"\\lib\\sub\\mine.txt", "the user's own"));
  journal_.staged = true;
  journal_.undoing = true;
  ASSERT_TRUE(Finish());
  EXPECT_EQ(ReadFileBytes(folder_ + L"\\lib\\sub\\mine.txt"), "the user's own");
  EXPECT_FALSE(Exists(L"\\lib\\sub\\b.txt"));
  EXPECT_EQ(ReadFileBytes(folder_ + L"\\a.txt"), "old");
  EXPECT_FALSE(Exists(L"\\Update\\Incoming"));
  EXPECT_FALSE(Exists(L"\\Update\\Update.journal"));
  // Without it, nothing of the tree is left.
  journal_ = Journal();
  SetUp();
  stageTree();
  ASSERT_TRUE(MoveFileW((folder_ + L"\\Update\\Incoming\\t0").c_str(), (folder_ + L"\\lib").c_str()));
  journal_.staged = true;
  journal_.undoing = true;
  ASSERT_TRUE(Finish());
  EXPECT_FALSE(Exists(L"\\lib"));
}

TEST_F(RunEndedPartWay, AJournalThatIsNotItsOwnIsNeverCarriedOut) {
  // The journal of a run that staged everything, which the next start
  // would finish forward, with its step edited to climb out of the folder.
  journal_.staged = true;
  InstallFolder folder(folder_.c_str());
  ASSERT_TRUE(WriteJournal(folder, journal_));
  const std::wstring path = folder_ + L"\\Update\\Update.journal";
  std::string bytes = ReadFileBytes(path);
  std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
  const std::wstring target = L"\ta.txt\t";
  ASSERT_NE(text.find(target), std::wstring::npos);
  std::wstring forged = text;
  forged.replace(forged.find(target), target.size(), L"\t..\\..\\evil.txt\t");
  // And the same journal carried to another folder.
  std::wstring copied = text;
  copied.replace(copied.find(L"update_ended"), 12, L"update_other");
  for (const std::wstring& edited : {forged, copied}) {
    ASSERT_TRUE(WriteFileBytes(path, std::string(reinterpret_cast<const char*>(edited.data()),
                                                 edited.size() * 2)));
    EXPECT_TRUE(HasForeignJournal(folder));
    EXPECT_FALSE(FinishUnfinishedUpdate(folder));
    EXPECT_EQ(ReadFileBytes(folder_ + L"\\a.txt"), "old");
    EXPECT_EQ(ReadFileBytes(folder_ + L"\\Update\\Incoming\\0\\0.new"), "new");
    EXPECT_FALSE(Exists(L"\\Update\\Backup1.0\\a.txt"));
    EXPECT_FALSE(FileExists(folder_ + L"\\..\\..\\evil.txt"));
    EXPECT_TRUE(Exists(L"\\Update\\Update.journal"));
  }
  // The unedited one is the setup's own.
  ASSERT_TRUE(WriteFileBytes(path, bytes));
  EXPECT_FALSE(HasForeignJournal(folder));
  ASSERT_TRUE(FinishUnfinishedUpdate(folder));
  EXPECT_EQ(ReadFileBytes(folder_ + L"\\a.txt"), "new");
}

TEST_F(RunEndedPartWay, AJournalCutShortIsLeftAlone) {
  ASSERT_TRUE(WriteFileBytes(folder_ + L"\\Update\\Update.journal", std::string("Q\0u\0", 4)));
  EXPECT_FALSE(FinishUnfinishedUpdate(InstallFolder(folder_.c_str())));
  EXPECT_EQ(ReadFileBytes(folder_ + L"\\a.txt"), "old");
  EXPECT_TRUE(Exists(L"\\Update\\Incoming\\0\\0.new"));
}

}  // namespace
