#include "update/update_plan.h"

#include <windows.h>
#include <stdio.h>

#include "common/owned.h"
#include "common/path_set.h"
#include "common/scoped.h"
#include "common/error_text.h"
#include "update/file_holder.h"
#include "disk/file_system.h"

namespace {

// Backups of one name: name.ext, name.1.ext, name.2.ext and so on; past
// these, a folder of backups is beyond use anyway.
constexpr int kBackupNames = 10000;
// A program that scans a fresh file holds it briefly: so long is waited.
constexpr int kFreeTries = 5;
constexpr DWORD kFreeRetryMs = 200;
constexpr DWORD kCompareBlock = 65536;
// The longest paths Windows takes without a prefix: a file's, a folder's
// (CreateDirectory keeps room for a short name).
constexpr size_t kFileChars = MAX_PATH - 1;
constexpr size_t kFolderChars = MAX_PATH - 13;

bool Exists(const WStr& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The last component of a relative path.
const wchar_t* LastName(const WStr& path) {
  size_t slash = path.size();
  while (slash > 0 && path[slash - 1] != L'\\') --slash;
  return path.c_str() + slash;
}

WStr ParentOf(const WStr& path) {
  size_t slash = path.size();
  while (slash > 0 && path[slash - 1] != L'\\') --slash;
  return slash > 0 ? path.Substr(0, slash - 1) : WStr();
}

bool SameBytes(const WStr& a, const WStr& b) {
  WIN32_FILE_ATTRIBUTE_DATA first = {}, second = {};
  if (!GetFileAttributesExW(a.c_str(), GetFileExInfoStandard, &first) ||
      !GetFileAttributesExW(b.c_str(), GetFileExInfoStandard, &second) ||
      ((first.dwFileAttributes | second.dwFileAttributes) & FILE_ATTRIBUTE_DIRECTORY) ||
      first.nFileSizeLow != second.nFileSizeLow || first.nFileSizeHigh != second.nFileSizeHigh) {
    return false;
  }
  ScopedHandle x(CreateFileW(a.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  ScopedHandle y(CreateFileW(b.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  OwnedArray<unsigned char> bx, by;
  if (!x || !y || !bx.Allocate(kCompareBlock) || !by.Allocate(kCompareBlock)) return false;
  for (;;) {
    DWORD nx = 0, ny = 0;
    if (!ReadFile(x.get(), bx.get(), kCompareBlock, &nx, nullptr) ||
        !ReadFile(y.get(), by.get(), kCompareBlock, &ny, nullptr) || nx != ny) {
      return false;
    }
    if (nx == 0) return true;
    if (memcmp(bx.get(), by.get(), nx) != 0) return false;
  }
}

class Planner {
 public:
  Planner(const InstallFolder& installFolder, const WStr& backupFolder, UpdatePlan* plan)
      : folder_(installFolder), backupFolder_(backupFolder), plan_(plan) {}

  bool Start() {
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    WStr root = folder_.Path(L"");
    if (GetDiskFreeSpaceW(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                          &clusters) &&
        sectorsPerCluster * bytesPerSector > 0) {
      cluster_ = static_cast<uint64_t>(sectorsPerCluster) * bytesPerSector;
    }
    plan_->backupFolder = backupFolder_;
    plan_->journal.madeUpdateFolder = !Exists(folder_.Path(L"Update"));
    // The journal's folder: the setup makes it before the journal.
    return planned_.Add(L"Update");
  }

  // A step that makes sure a folder stands at the path (relative, no
  // trailing separator), with the ones above it.
  // Afterwards lastFolderIsNew() tells whether this run makes the folder,
  // so that nothing beneath it need be looked for.
  // replaceFile: a file in the way is backed up like any other (for the
  // backup folder itself it is an error: the backups would go nowhere).
  // A new folder of the package's whose parent is not new is a tree: it is
  // staged whole, its folders and files in it, and placed by one move; the
  // new folders beneath it are in its tree, where their staged paths fit.
  bool NeedFolder(const WStr& folder, bool replaceFile = true) {
    if (folder == lastFolder_) return true;
    bool isNew = false;
    for (size_t end = 1; end <= folder.size(); ++end) {
      if (end < folder.size() && folder[end] != L'\\') continue;
      WStr part = folder.Substr(0, end);
      if (planned_.Contains(part.c_str())) continue;
      if (!planned_.Add(part.c_str())) return false;
      DWORD attributes = GetFileAttributesW(folder_.Path(part.c_str()).c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        continue;
      if (end == folder.size()) isNew = true;
      SwitchStep step;
      step.kind = StepKind::kFolder;
      step.target = part;
      if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (!replaceFile) {
          SetLastError(ERROR_DIRECTORY);
          return false;
        }
        if (!BackupFor(part, &step.backup)) return false;
      }
      if (replaceFile && !PlaceInTree(&step)) return false;
      if (!Add(static_cast<SwitchStep&&>(step))) return false;
    }
    // Only now: a backup on the way has planned its own folder.
    lastFolder_ = folder;
    lastFolderIsNew_ = isNew;
    lastFolderStaged_ = isNew ? StagedInTree(folder) : WStr();
    return true;
  }

  // A step that puts staged (relative) at target, backing up what is there.
  bool NeedFile(const WStr& target, const WStr& staged, int32_t item, uint64_t size,
                bool parentIsNew) {
    SwitchStep step;
    step.kind = StepKind::kFile;
    step.target = target;
    step.staged = staged;
    step.item = item;
    if (!parentIsNew && Exists(folder_.Path(target.c_str())) && !BackupFor(target, &step.backup)) {
      return false;
    }
    WStr inTree = parentIsNew && item >= 0 ? Beneath(lastFolderStaged_, target) : WStr();
    if (!inTree.empty() && folder_.Path(inTree.c_str()).size() <= kFileChars) {
      step.staged = inTree;
      step.inTree = true;
    } else if (item >= 0 && item / kIncomingGroup != stagedGroup_) {
      stagedGroup_ = item / kIncomingGroup;
      if (!plan_->ownFolders.Push(StagedName(item, false))) return false;
    }
    // A staged file, and its line in the journal.
    plan_->stagedBytes +=
        (size + cluster_ - 1) / cluster_ * cluster_ +
        (target.size() + step.backup.size() + staged.size() + 8) * sizeof(wchar_t);
    return Add(static_cast<SwitchStep&&>(step));
  }

  bool lastFolderIsNew() const { return lastFolderIsNew_; }

 private:
  bool Add(SwitchStep step) { return plan_->journal.steps.Push(static_cast<SwitchStep&&>(step)); }

  // A new folder's step as part of a tree: inside its parent's tree where
  // its staged path fits, else the root of a tree of its own. Its staged
  // folder is made before the staging.
  bool PlaceInTree(SwitchStep* step) {
    WStr inParent = Beneath(StagedInTree(ParentOf(step->target)), step->target);
    WStr staged;
    if (!inParent.empty() && folder_.Path(inParent.c_str()).size() <= kFolderChars) {
      step->inTree = true;
      staged = inParent;
    } else {
      wchar_t root[48];
      _snwprintf_s(root, 48, _TRUNCATE, L"%ls\\t%d", kIncomingFolder, trees_++);
      step->kind = StepKind::kTree;
      step->staged = root;
      staged = root;
    }
    TreeFolder folder = {step->target, staged};
    return treeFolders_.Push(static_cast<TreeFolder&&>(folder)) &&
           plan_->ownFolders.Push(static_cast<WStr&&>(staged));
  }

  // The staged path of a folder that is in a tree; empty for any other.
  WStr StagedInTree(const WStr& folder) const {
    // Files come folder after folder: the last ones are the likely ones.
    for (size_t i = treeFolders_.size(); i > 0; --i) {
      if (treeFolders_[i - 1].target == folder) return treeFolders_[i - 1].staged;
    }
    return WStr();
  }

  // The staged path of a folder's item, by its last name; empty when the
  // folder is in no tree.
  static WStr Beneath(const WStr& stagedFolder, const WStr& target) {
    if (stagedFolder.empty()) return WStr();
    WStr path = stagedFolder;
    path.Append(L'\\');
    path.Append(LastName(target));
    return path;
  }

  // Where what lies at target goes: the backup folder under the first name
  // that neither it nor this run has taken, or, when the backup folder has
  // a copy byte for byte already, the setup's own folder, to be dropped.
  bool BackupFor(const WStr& target, WStr* backup) {
    if (!backupMade_) {
      backupMade_ = true;
      WStr folder = backupFolder_.Substr(0, backupFolder_.size() - 1);
      if (!NeedFolder(folder, false)) return false;
    }
    const wchar_t* name = LastName(target);
    const wchar_t* dot = wcsrchr(name, L'.');
    size_t stem = dot && dot != name ? static_cast<size_t>(dot - name) : wcslen(name);
    WStr original = folder_.Path(target.c_str());
    for (int n = 0; n < kBackupNames; ++n) {
      WStr candidate = backupFolder_;
      if (n == 0) {
        candidate.Append(name);
      } else {
        wchar_t number[16];
        _snwprintf_s(number, 16, _TRUNCATE, L".%d", n);
        candidate.Append(name, stem);
        candidate.Append(number);
        candidate.Append(name + stem);
      }
      if (planned_.Contains(candidate.c_str())) continue;
      WStr full = folder_.Path(candidate.c_str());
      if (full.empty() || full.size() >= MAX_PATH) break;
      if (!Exists(full)) {
        *backup = candidate;
        return planned_.Add(candidate.c_str());
      }
      if (SameBytes(original, full)) {
        if (setAside_ % kIncomingGroup == 0 &&
            !plan_->ownFolders.Push(SetAsideName(setAside_, false))) {
          return false;
        }
        *backup = SetAsideName(setAside_++);
        return true;
      }
    }
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }

  const InstallFolder& folder_;
  WStr backupFolder_;
  UpdatePlan* plan_;
  PathSet planned_;
  // The folder of the files last planned: they come one folder after
  // another.
  WStr lastFolder_;
  bool lastFolderIsNew_ = false;
  uint64_t cluster_ = 4096;
  bool backupMade_ = false;
  int setAside_ = 0;
  // The group of the files last staged: items come in order.
  int32_t stagedGroup_ = -1;
  // Every new folder in a tree, with its staged path; the staged path of
  // the folder of the files last planned, when it is one of them.
  struct TreeFolder {
    WStr target;
    WStr staged;
  };
  Vec<TreeFolder> treeFolders_;
  WStr lastFolderStaged_;
  int trees_ = 0;
};

// The item's name as a relative path with backslashes, without a trailing
// separator.
WStr RelativePath(const wchar_t* name) {
  WStr path(name);
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] == L'/') path[i] = L'\\';
  }
  while (!path.empty() && path.back() == L'\\') path.Resize(path.size() - 1);
  return path;
}

Outcome PlanFailure(const WStr& target, const WStr& backupFolder) {
  return Outcome::FailedWithError(ReportId::kBackupFailed, GetLastError(), target.c_str(),
                                  backupFolder.c_str());
}

}  // namespace

Outcome PlanUpdate(const InstallFolder& installFolder, ZipHandle* archive, int itemCount,
                   const WStr& backupFolder, const WStr& databasePart, UpdatePlan* plan) {
  Planner planner(installFolder, backupFolder, plan);
  WStr fullBackup = installFolder.Path(backupFolder.c_str());
  if (!planner.Start()) return PlanFailure(installFolder.Path(L""), fullBackup);
  if (!databasePart.empty()) {
    WStr database(L"Quelda.mdb");
    if (!planner.NeedFile(database, databasePart, -1, 0, false)) {
      return PlanFailure(installFolder.Path(database.c_str()), fullBackup);
    }
  }
  for (int index = 0; index < itemCount; ++index) {
    ZipItem item{};
    bool described = GetArchiveItem(archive, index, &item) == 0;
    // "./" names the install folder itself, and asks for nothing.
    if (described && item.name[0] == 0 && (item.attributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    WStr target = described ? RelativePath(item.name) : WStr();
    // An item that cannot be described, or whose name was refused, is
    // neither backed up nor extracted: its target could be the install
    // folder itself.
    if (target.empty()) return Outcome::Failed(ReportId::kExtractFailed, item.name);
    bool planned;
    if (item.attributes & FILE_ATTRIBUTE_DIRECTORY) {
      planned = planner.NeedFolder(target);
    } else {
      planned =
          planner.NeedFolder(ParentOf(target)) &&
          planner.NeedFile(target, StagedName(index), index,
                           static_cast<uint32_t>(item.uncompressedSize), planner.lastFolderIsNew());
    }
    if (!planned) return PlanFailure(installFolder.Path(target.c_str()), fullBackup);
  }
  return Outcome::Done();
}

Outcome TargetsAreFree(const InstallFolder& installFolder, const UpdatePlan& plan) {
  for (const SwitchStep& step : plan.journal.steps) {
    if (step.backup.empty()) continue;
    WStr target = installFolder.Path(step.target.c_str());
    bool free = false;
    for (int attempt = 0; attempt < kFreeTries && !free; ++attempt) {
      if (attempt > 0) Sleep(kFreeRetryMs);
      free = FsCanMove(target.c_str());
    }
    if (free) continue;
    DWORD error = GetLastError();
    WStr backupFolder = installFolder.Path(plan.backupFolder.c_str());
    WStr holder = ProgramHoldingFile(target.c_str());
    if (holder.empty()) {
      return Outcome::FailedWithError(ReportId::kBackupFailed, error, target.c_str(),
                                      backupFolder.c_str());
    }
    WStr line(L"“");
    line.Append(holder);
    line.Append(L"” 正在使用此文件。");
    return Outcome::Failed(ReportId::kBackupFailed, target.c_str(), backupFolder.c_str(),
                           ErrorText(error).c_str(), line.c_str());
  }
  return Outcome::Done();
}
