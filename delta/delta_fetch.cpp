#include "delta/delta_fetch.h"

#include <string.h>

#include "common/number_text.h"
#include "common/owned.h"
#include "common/same_path.h"
#include "common/scoped.h"
#include "crypto/sha256.h"
#include "delta/delta_plan.h"
#include "delta/package_index.h"
#include "delta/range_reply.h"
#include "disk/file_system.h"
#include "fetch/reply_headers.h"

namespace {

// The end of a package asked for first: its end record, with a comment
// of a few KB; then as much as the longest comment takes, when needed.
constexpr uint32_t kTailBytes = 8192;
constexpr uint32_t kLongestTailBytes = 65536 + 22;
constexpr DWORD kCopyBytes = 65536;
constexpr uint32_t kEndSignature = 0x06054B50;

uint32_t Le32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Where the central directory starts, from the end record in tail (the
// package's last bytes); size when there is none.
uint32_t DirectoryStart(const ByteStr& tail, uint32_t size) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(tail.c_str());
  for (size_t i = tail.size() >= 22 ? tail.size() - 22 + 1 : 0; i-- > 0;) {
    if (Le32(bytes + i) == kEndSignature) return Le32(bytes + i + 16);
  }
  return size;
}

// The package written in order, from offset at, with its bar.
class Writer {
 public:
  Writer(HANDLE file, uint32_t at, uint32_t total, DownloadProgress* progress)
      : file_(file), at_(at), bar_(progress, total) {
    bar_.At(at_);
  }
  bool Write(const void* data, DWORD size) {
    if (!FsWrite(file_, data, size)) return false;
    at_ += size;
    bar_.At(at_);
    return true;
  }
  uint32_t at() const { return at_; }

 private:
  HANDLE file_;
  uint32_t at_;
  BarSteps bar_;
};

void AppendRange(WStr* ranges, uint32_t first, uint32_t last) {
  if (!ranges->empty()) ranges->Append(L",");
  ranges->Append(DecimalText(first));
  ranges->Append(L"-");
  ranges->Append(DecimalText(last));
}

bool Ask(const Transfer& transfer, const wchar_t* url, const WStr& headers,
         DownloadRequest* opened) {
  RequestForm form;
  form.headers = headers.c_str();
  return OpenDownload(transfer.line, url, form, opened);
}

// The bytes of one range reply of a single range into *out.
bool ReadRange(const Transfer& transfer, DownloadRequest* opened, uint32_t first, uint32_t last,
               uint32_t size, ByteStr* out) {
  RangeReply reply;
  reply.Begin(transfer.line, opened, size);
  if (!reply.Next(first, last) || !out->Resize(last - first + 1)) return false;
  for (uint32_t at = 0; at <= last - first;) {
    DWORD got = reply.Read(out->data() + at, last - first + 1 - at);
    if (got == 0) return false;
    at += got;
  }
  return true;
}

enum class Copied { kDone, kUnread, kUnwritten };

// A piece's bytes from the old package. One that cannot be read is no
// reason to fail the download, one that cannot be written is.
Copied CopyOld(HANDLE old, uint32_t offset, uint32_t length, Writer* writer, char* buffer) {
  LARGE_INTEGER at;
  at.QuadPart = offset;
  if (!SetFilePointerEx(old, at, nullptr, FILE_BEGIN)) return Copied::kUnread;
  while (length > 0) {
    DWORD want = length < kCopyBytes ? length : kCopyBytes;
    DWORD got = 0;
    if (!ReadFile(old, buffer, want, &got, nullptr) || got != want) return Copied::kUnread;
    if (!writer->Write(buffer, got)) return Copied::kUnwritten;
    length -= got;
  }
  return Copied::kDone;
}

DownloadResult Ended(DownloadEnd end, const WStr& file = WStr(), DWORD error = 0) {
  DownloadResult result;
  result.end = end;
  result.file = file;
  result.error = error;
  return result;
}

}  // namespace

namespace {

// The delta, into *result; false when it gave up for the whole download,
// leaving at most a part with its validator, as a whole download would.
bool Delta(const Transfer& transfer, const DownloadJob& job, DownloadProgress* progress,
           const ResumeTerms& terms, const WStr& old, DownloadResult* result) {
  PartPlan part = PlanPart(job.path, terms);
  PackageIndex oldIndex;
  if (part.use == PartUse::kWhole || !IndexPackageFile(old.c_str(), &oldIndex)) return false;
  uint32_t size = terms.size;
  uint32_t have = part.use == PartUse::kResume ? part.have : 0;

  // The package's end; with a part, only while it is the same package.
  WStr validator = part.validator;
  ByteStr tail;
  uint32_t tailFirst = size;
  WStr ranges;
  for (uint32_t want : {kTailBytes, kLongestTailBytes}) {
    if (tailFirst == 0 || (tailFirst < size && DirectoryStart(tail, size) < size)) break;
    tailFirst = size > want ? size - want : 0;
    ranges.Clear();
    AppendRange(&ranges, tailFirst, size - 1);
    DownloadRequest opened(transfer.line);
    if (!Ask(transfer, job.url, RangeHeaders(ranges, validator), &opened)) return false;
    if (CancelSet(transfer.cancelEvent)) {
      *result = Ended(DownloadEnd::kCancelled);
      return true;
    }
    // A 200 is the whole package: the download, not a reason for another.
    if (opened.reply.status == 200) {
      *result = ReceiveDownload(transfer, job, progress, &terms, &opened, WStr(), 0);
      return true;
    }
    WStr named = ValidatorOf(opened.reply);
    // Without a validator no range can be tied to the same package.
    if (named.empty() || (!validator.empty() && named != validator) ||
        !ReadRange(transfer, &opened, tailFirst, size - 1, size, &tail)) {
      return false;
    }
    validator = named;
  }
  // The central directory before the tail, when it is longer.
  uint32_t directory = DirectoryStart(tail, size);
  if (directory < tailFirst && tailFirst - directory <= kMaxDirectoryBytes) {
    ByteStr front;
    ranges.Clear();
    AppendRange(&ranges, directory, tailFirst - 1);
    DownloadRequest more(transfer.line);
    if (!Ask(transfer, job.url, RangeHeaders(ranges, validator), &more) ||
        !ReadRange(transfer, &more, directory, tailFirst - 1, size, &front) ||
        !front.Append(tail.c_str(), tail.size())) {
      return false;
    }
    tail = static_cast<ByteStr&&>(front);
    tailFirst = directory;
  }
  PackageIndex next;
  Vec<DeltaPiece> plan;
  const unsigned char* tailBytes = reinterpret_cast<const unsigned char*>(tail.c_str());
  if (!IndexPackageTail(tailBytes, static_cast<uint32_t>(tail.size()), size, &next) ||
      !PlanDelta(oldIndex, next, &plan)) {
    return false;
  }

  if (job.makeFolders) FsEnsureFolder(job.path.c_str());
  ScopedHandle file = have ? FsAppendFile(job.path.c_str())
                           : FsCreateFile(job.path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!file) {
    *result = Ended(DownloadEnd::kNotCreated, WStr(), GetLastError());
    return true;
  }
  // After the truncation, as a whole download saves it.
  if (!have) SaveValidator(job.path, validator);
  ScopedHandle oldFile(CreateFileW(old.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!oldFile) return false;
  Writer writer(file.get(), have, size, progress);
  char buffer[4096];
  OwnedArray<char> copy;
  if (!copy.Allocate(kCopyBytes)) return false;

  // The request of the fetched pieces in progress, and how many of them
  // its reply still brings.
  DownloadRequest batch(transfer.line);
  RangeReply reply;
  int batchLeft = 0;
  int batchCount = 0;
  // Several ranges to a request, until a server shows that it answers
  // them otherwise than part by part: then one to a request.
  int perRequest = kRangesPerRequest;
  auto endBatch = [&] {
    batchLeft = 0;
    batch.request.Reset();
    batch.connection.Reset();
  };
  DownloadEnd broken = DownloadEnd::kWhole;
  DWORD error = 0;
  // A full disk ends the download: what follows could not land either.
  auto writeFailed = [&] {
    error = GetLastError();
    broken = DownloadEnd::kBrokenOff;
  };
  for (size_t i = 0; i < plan.size() && broken == DownloadEnd::kWhole; ++i) {
    DeltaPiece piece = plan[i];
    // What a part on disk already holds is not made again.
    if (piece.offset + piece.length <= writer.at()) continue;
    uint32_t skip = writer.at() > piece.offset ? writer.at() - piece.offset : 0;
    piece.offset += skip;
    piece.length -= skip;
    piece.oldOffset += skip;
    if (CancelSet(transfer.cancelEvent)) {
      broken = DownloadEnd::kCancelled;
    } else if (piece.source == PieceSource::kOld) {
      Copied copied = CopyOld(oldFile.get(), piece.oldOffset, piece.length, &writer, copy.get());
      if (copied == Copied::kUnwritten) {
        writeFailed();
      } else if (copied == Copied::kUnread) {
        // What is on disk stays a part; a continuing download brings the
        // rest.
        endBatch();
        file.Reset();
        return false;
      }
    } else if (piece.source == PieceSource::kTime) {
      unsigned char time[4] = {static_cast<unsigned char>(piece.value),
                               static_cast<unsigned char>(piece.value >> 8),
                               static_cast<unsigned char>(piece.value >> 16),
                               static_cast<unsigned char>(piece.value >> 24)};
      if (!writer.Write(time + skip, piece.length)) writeFailed();
    } else if (piece.source == PieceSource::kTail) {
      if (!writer.Write(tail.c_str() + (piece.offset - tailFirst), piece.length)) writeFailed();
    } else {
      if (batchLeft == 0) {
        // The next fetched pieces, from this one on, in one request.
        ranges.Clear();
        int count = 0;
        for (size_t j = i; j < plan.size() && count < perRequest; ++j) {
          if (plan[j].source != PieceSource::kFetch) continue;
          uint32_t first = j == i ? piece.offset : plan[j].offset;
          AppendRange(&ranges, first, plan[j].offset + plan[j].length - 1);
          ++count;
        }
        if (!Ask(transfer, job.url, RangeHeaders(ranges, validator), &batch)) {
          broken = DownloadEnd::kBrokenOff;
          break;
        }
        if (batch.reply.status == 200) {
          // The whole package after all: it starts the file over.
          file.Reset();
          oldFile.Reset();
          *result = ReceiveDownload(transfer, job, progress, &terms, &batch, WStr(), 0);
          endBatch();
          return true;
        }
        reply.Begin(transfer.line, &batch, size);
        batchLeft = batchCount = count;
      }
      bool next = reply.Next(piece.offset, piece.offset + piece.length - 1);
      if (!next && batchCount > 1 && !reply.multipart() && batch.reply.status == 206) {
        // One range of several came (the first, or all as one): this
        // piece again, alone.
        perRequest = 1;
        endBatch();
        --i;
        continue;
      }
      if (!next) {
        // Not the reply asked for: the rest comes as a whole download
        // continues, from what is on disk.
        endBatch();
        file.Reset();
        return false;
      }
      for (uint32_t left = piece.length; left > 0;) {
        DWORD got = reply.Read(buffer, left < sizeof(buffer) ? left : sizeof(buffer));
        if (got == 0 || !writer.Write(buffer, got)) {
          error = got == 0 ? reply.error() : GetLastError();
          broken = CancelSet(transfer.cancelEvent) ? DownloadEnd::kCancelled
                                                   : DownloadEnd::kBrokenOff;
          break;
        }
        left -= got;
      }
      if (--batchLeft == 0) endBatch();
    }
  }
  endBatch();
  file.Reset();
  if (broken != DownloadEnd::kWhole) {
    *result = Ended(broken, job.path, error);
    return true;
  }
  // Only the whole can tell: a package that is not the declared one is
  // fetched whole once more.
  uint8_t digest[kSha256Bytes];
  uint64_t hashed = 0;
  if (!Sha256File(job.path.c_str(), digest, &hashed) || hashed != size ||
      memcmp(digest, terms.digest, kSha256Bytes) != 0) {
    DiscardPart(job.path);
    return false;
  }
  SaveValidator(job.path, WStr());
  *result = Ended(DownloadEnd::kWhole, job.path);
  return true;
}

}  // namespace

DownloadResult FetchByDifference(const Transfer& transfer, const DownloadJob& job,
                                 DownloadProgress* progress, const ResumeTerms& terms,
                                 const WStr& old) {
  DownloadResult result;
  if (Delta(transfer, job, progress, terms, old, &result)) return result;
  return DownloadToFile(transfer, job, progress, &terms);
}

WStr FindEarlierPackage(const WStr& target) {
  size_t slash = target.size();
  while (slash > 0 && target[slash - 1] != L'\\') --slash;
  WStr folder = target.Substr(0, slash);
  WStr pattern = folder;
  pattern.Append(L"Quelda*.zip");
  WIN32_FIND_DATAW found = {};
  ScopedFind search(FindFirstFileW(pattern.c_str(), &found));
  if (!search) return WStr();
  WStr best;
  FILETIME bestTime = {};
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    WStr path = folder;
    path.Append(found.cFileName);
    if (SamePath(path.c_str(), target.c_str())) continue;
    if (best.empty() || CompareFileTime(&found.ftLastWriteTime, &bestTime) > 0) {
      best = path;
      bestTime = found.ftLastWriteTime;
    }
  } while (FindNextFileW(search.get(), &found));
  return best;
}
