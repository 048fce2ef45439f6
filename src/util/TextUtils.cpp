#include "util/TextUtils.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <new>

#include "framework/Application.h"
#include "framework/MessagePump.h"
#include "framework/Streams.h"
#include "platform/Platform.h"
#include "support/MD5.h"

namespace {

// The first occurrence, at or after a position, of one byte sequence in a
// line, by the search that steps over double-byte characters. The splitter's
// positions only grow, so an occurrence found once stays the answer until the
// position passes it, and every byte of the line is looked at about once per
// sequence: the time stays in proportion to the line's length.
class TForwardSearch {
 public:
  TForwardSearch(const std::string& Line, const char* Sub) : FLine(Line), FSub(Sub) {}

  // Start must be where a character begins, counted from the line's start.
  std::size_t From(std::size_t Start) {
    if (FFound != std::string::npos && FFound >= Start) return FFound;
    if (FExhausted) return std::string::npos;
    for (std::size_t I = Start; I + FSub.size() <= FLine.size();
         I += IsLeadByte(static_cast<unsigned char>(FLine[I])) ? 2 : 1) {
      if (FLine.compare(I, FSub.size(), FSub) == 0) return FFound = I;
    }
    FExhausted = true;
    return FFound = std::string::npos;
  }

 private:
  const std::string& FLine;
  const std::string FSub;
  std::size_t FFound = std::string::npos;
  bool FExhausted = false;
};

constexpr std::size_t None = std::string::npos;

}  // namespace

// What is left of the line is the line from At on: taking text off its front
// moves At, and nothing is copied but the fields.
void SplitCsvLine(const std::string& Line, TStrings& List) {
  List.Clear();
  TForwardSearch Comma(Line, ","), Close1(Line, "\","), Close2(Line, "\"\","), Close3(Line, "\"\"\",");
  std::size_t At = 0;
  for (std::size_t P; (P = Comma.From(At)) != None;) {
    std::string Field;
    if (Line[At] == '"') {
      ++At;  // the opening quote
      for (bool Done = false; At < Line.size() && !Done;) {
        const std::size_t Q3 = Close3.From(At), Q2 = Close2.From(At), Q1 = Close1.From(At);
        if (Q1 != None && (Q2 == None || Q2 > Q1)) {
          // text, closing quote, comma
          Field.append(Line, At, Q1 - At);
          At = Q1 + 2;
          Done = true;
        } else if (Q1 == None) {
          // No closing quote before a comma: the field runs to the end of the line.
          Field.append(Line, At, None);
          At = Line.size();
        } else if (Q3 != None) {
          // text and an escaped quote, then the closing quote and the comma
          Field.append(Line, At, Q3 + 2 - At);
          At = Q3 + 4;
          Done = true;
        } else {
          // an escaped quote followed by a comma that belongs to the field
          Field.append(Line, At, Q2 + 3 - At);
          At = Q2 + 3;
        }
      }
      Field = StringReplaceAll(Field, "\"\"", "\"");
    } else {
      Field.assign(Line, At, P - At);
      At = P + 1;
    }
    List.Add(Trim(Field));
  }
  // The last field: its enclosing quotes go, doubled quotes inside it stay.
  std::size_t First = At, Last = Line.size();
  if (First < Last && Line[First] == '"') ++First;
  if (First < Last && Line[Last - 1] == '"') --Last;
  List.Add(Trim(Line.substr(First, Last - First)));
}

std::string GetEnvironmentText(const std::string& Name) {
  char Buffer[260] = {};
  const std::uint32_t N = plat::GetEnvironmentVariable(Name.c_str(), Buffer, sizeof Buffer);
  if (N == 0 || N >= sizeof Buffer) return std::string();
  return Trim(std::string(Buffer));
}

std::string GetTempFolder() {
  std::string Folder, System;
  const bool Spelled = plat::GetEnvironmentPath("temp", Folder);
  Folder = Trim(Folder);
  const bool Usable = !Folder.empty() && Folder.size() < 260;
  if (Spelled && Usable) return IncludeTrailingBackslash(Folder);
  // Without a usable variable the list and the update files would land in the
  // root of the current drive, or in a folder other than the user's. Spelled
  // by neither: the name holds "?", and making a file there fails with the
  // name in its message.
  return IncludeTrailingBackslash(plat::GetTempPath(System) || !Usable ? System : Folder);
}

bool OpenTextFileRetry(TTextFile& F, int Retries) {
  for (int Attempt = 0;; ++Attempt) {
    try {
      F.Reset(fmOpenRead | fmShareDenyNone);
      return true;
    } catch (const EInOutError&) {
    }
    if (Attempt < Retries) WaitMinutes(1);
    if (Attempt + 1 > Retries) return false;
  }
}

void WaitMinutes(double Minutes) {
  const TDateTime Deadline = Now() + Minutes / 24 / 60;
  while (Now() < Deadline) {
    Sleep(100);
    // Without an application the quit message is not ours to take: it stays
    // for whatever loop owns the thread.
    if (ProcessWaitingMessages(TPumpQueue::Application, TQuitRule::Keep)) return;
  }
}

void PumpMessages() {
  Sleep(0);
  if (Application) ProcessWaitingMessages(TPumpQueue::Application, TQuitRule::Keep);
}

double GetFileSizeValue(const std::string& FileName) {
  if (!FileExists(FileName)) return -1;
  std::uint32_t Error = 0;
  plat::File F = plat::File::Open(FileName, plat::FileAccess::Read, plat::FileShare::DenyNone,
                                  plat::FileCreate::OpenExisting, Error);
  std::uint64_t Size = 0;
  // A file that exists but cannot be opened or measured has no size to give.
  if (!F.IsOpen() || !F.GetSize(Size)) return -1;
  return static_cast<double>(Size);
}

std::string FileMD5Hex(const std::string& FileName) {
  try {
    const double Size = GetFileSizeValue(FileName);
    if (Size < 0 || Size > INT_MAX) return std::string();
    TFileStream Stream(FileName, fmOpenRead | fmShareDenyNone);
    // The file goes through the digest in pieces rather than through one
    // buffer of its whole size: the same digest of the same Size bytes (a file
    // that shrinks meanwhile still fails), without a large allocation and the
    // page faults that filling it costs.
    constexpr std::int64_t ReadSize = 65536;
    std::unique_ptr<std::uint8_t[]> Buffer(new (std::nothrow) std::uint8_t[ReadSize]);
    if (!Buffer) return std::string();
    MD5Context Context;
    MD5Init(Context);
    for (auto Left = static_cast<std::int64_t>(Size); Left > 0;) {
      const std::int64_t N = std::min(Left, ReadSize);
      Stream.ReadBuffer(Buffer.get(), N);
      MD5UpdateBuffer(Context, Buffer.get(), static_cast<std::size_t>(N));
      Left -= N;
    }
    MD5Digest Digest;
    MD5Final(Digest, Context);
    return MD5DigestText(Digest);
  } catch (const std::exception&) {
    return std::string();
  }
}
