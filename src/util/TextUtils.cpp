#include "util/TextUtils.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <new>

#include "framework/Application.h"
#include "framework/Streams.h"
#include "platform/Platform.h"
#include "support/MD5.h"

namespace {

void TakeQuotedField(std::string& Rest, std::string& Field) {
  Rest.erase(0, 1);  // the opening quote
  Field.clear();
  bool Done = false;
  while (!Rest.empty() && !Done) {
    const int Q3 = AnsiPos("\"\"\",", Rest);
    const int Q2 = AnsiPos("\"\",", Rest);
    const int Q1 = AnsiPos("\",", Rest);
    if (Q1 > 0 && (Q2 == 0 || Q2 > Q1)) {
      // text, closing quote, comma
      Field += Copy(Rest, 1, Q1 - 1);
      Delete(Rest, 1, Q1 + 1);
      Done = true;
    } else if (Q1 == 0) {
      // No closing quote before a comma: the field runs to the end of the line.
      Field += Rest;
      Rest.clear();
    } else if (Q3 > 0) {
      // text and an escaped quote, then the closing quote and the comma
      Field += Copy(Rest, 1, Q3 + 1);
      Delete(Rest, 1, Q3 + 3);
      Done = true;
    } else {
      // an escaped quote followed by a comma that belongs to the field
      Field += Copy(Rest, 1, Q2 + 2);
      Delete(Rest, 1, Q2 + 2);
    }
  }
  Field = StringReplaceAll(Field, "\"\"", "\"");
}

}  // namespace

void SplitCsvLine(const std::string& Line, TStrings& List) {
  std::string Rest = Line;
  List.Clear();
  int P;
  while ((P = AnsiPos(",", Rest)) > 0) {
    std::string Field;
    if (Rest[0] == '"') {
      TakeQuotedField(Rest, Field);
    } else {
      Field = Copy(Rest, 1, P - 1);
      Delete(Rest, 1, P);
    }
    List.Add(Trim(Field));
  }
  // The last field: its enclosing quotes go, doubled quotes inside it stay.
  if (!Rest.empty() && Rest.front() == '"') Rest.erase(0, 1);
  if (!Rest.empty() && Rest.back() == '"') Rest.pop_back();
  List.Add(Trim(Rest));
}

std::string GetEnvironmentText(const std::string& Name) {
  char Buffer[260] = {};
  const std::uint32_t N = plat::GetEnvironmentVariable(Name.c_str(), Buffer, sizeof Buffer);
  if (N == 0 || N >= sizeof Buffer) return std::string();
  return Trim(std::string(Buffer));
}

std::string GetTempFolder() {
  std::string Folder = GetEnvironmentText("temp");
  if (Folder.empty() || Folder.back() != '\\') Folder += '\\';
  return Folder;
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

namespace {

void ProcessPendingMessages() {
  if (Application) {
    Application->ProcessMessages();
    return;
  }
  plat::Message M;
  while (plat::PeekMessage(M, true) && M.Msg != plat::MsgQuit) {
    plat::TranslateMessage(M);
    plat::DispatchMessage(M);
  }
}

}  // namespace

void WaitMinutes(double Minutes) {
  const TDateTime Deadline = Now() + Minutes / 24 / 60;
  while (Now() < Deadline) {
    Sleep(100);
    ProcessPendingMessages();
  }
}

void PumpMessages() {
  Sleep(0);
  if (Application) Application->ProcessMessages();
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
    constexpr std::int64_t ReadSize = 65536, PieceSize = 16384;
    std::unique_ptr<std::uint8_t[]> Buffer(new (std::nothrow) std::uint8_t[ReadSize]);
    if (!Buffer) return std::string();
    MD5Context Context;
    MD5Init(Context);
    for (auto Left = static_cast<std::int64_t>(Size); Left > 0;) {
      const std::int64_t N = std::min(Left, ReadSize);
      Stream.ReadBuffer(Buffer.get(), N);
      for (std::int64_t At = 0; At < N; At += PieceSize)
        MD5Update(Context, Buffer.get() + At, static_cast<std::uint32_t>(std::min(PieceSize, N - At)));
      Left -= N;
    }
    MD5Digest Digest;
    MD5Final(Digest, Context);
    return MD5DigestText(Digest);
  } catch (const std::exception&) {
    return std::string();
  }
}
