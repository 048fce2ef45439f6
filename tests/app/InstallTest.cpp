// The installation of a newer plug-in, in both builds: the download is a test
// double that stores a given document, everything after it (the checks, the
// staging copy, the replacing move, the messages) is the real thing on real
// files. Under Wine the system decides about read-only and open plug-ins.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "TestSupport.h"
#include "app/Addresses.h"
#include "app/UDravin.h"
#include "app/UpdateInstall.h"
#include "support/MD5.h"
#include "util/TextUtils.h"

#ifndef _WIN32
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using testsupport::LoggedMessages;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

using testsupport::Lines;
using testsupport::Store;
using testsupport::TTestDravin;

std::string Md5(const std::string& Bytes) { return MD5HexDigest(Bytes.data(), Bytes.size()); }

// Bytes that show where a copy went wrong: no two 4-byte runs alike.
std::string Document(std::size_t Size, char Seed) {
  std::string R(Size, '\0');
  for (std::size_t I = 0; I < Size; ++I) R[I] = static_cast<char>((I * 131 + I / 251 + Seed) & 0xFF);
  return R;
}

// An installation whose staging copy can be interfered with.
class TProbedInstall : public TUpdateInstall {
 public:
  using TUpdateInstall::TUpdateInstall;
  std::function<void(const std::string& From)> BeforeStage;

 protected:
  bool Stage(const std::string& From, const std::string& To) override {
    if (BeforeStage) BeforeStage(From);
    return TUpdateInstall::Stage(From, To);
  }
};

class UpdateInstall : public testsupport::HostInstall {
 protected:
  std::string Staging() const { return ProgramFolder() + TUpdateInstall::StagingName; }
};

}  // namespace

TEST_F(UpdateInstall, EachOutcomeHasItsMessageAndTheInstalledFileIsOldOrNewChecked) {
  const std::string Old = Document(5000, 1), New = Document(70000, 2), Other = Document(70000, 3);
  const std::string Size = IntToStr(New.size()), Digest = Md5(New);
  const char* const Announce = "Plug Ver.2.0をダウンロードします.";
  const char* const Installed = "Plugをバージョンアップしました.";
  const char* const CopyFailed = "Plugのバージョンアップに失敗しました.";
  const char* const DigestDiffers = "Plugのハッシュ計算があいませんでした.";
  const char* const DownloadFailed = "Plugのダウンロードに失敗しました.";
  enum { None, ReadOnly, Locked, LeftOver, ChangedInTemp };
  struct Case {
    const char* What;
    std::string SizeField, DigestField;
    std::optional<std::string> Served;  // nothing: the fetch failed
    int Before;
    const char* Outcome;
    bool NowNew;
    bool LockedOnlyOnWindows = false;
  } Cases[] = {
      {"installed", Size, Digest, New, None, Installed, true},
      {"the fetch failed", Size, Digest, std::nullopt, None, DownloadFailed, false},
      {"the size is not a number", "70000 bytes", Digest, New, None, DownloadFailed, false},
      {"the size differs", IntToStr(New.size() - 1), Digest, New, None, DownloadFailed, false},
      {"a lower-case digest", Size, LowerCase(Digest), New, None, DigestDiffers, false},
      {"another file than the list's", Size, Digest, Other, None, DigestDiffers, false},
      {"size 0 and an empty document: nothing to digest", "0", Md5(""), std::string(), None, DigestDiffers, false},
      {"a read-only plug-in", Size, Digest, New, ReadOnly, CopyFailed, false},
      {"a plug-in the host holds open without sharing", Size, Digest, New, Locked, CopyFailed, false, true},
      {"a staging file a killed run left behind", Size, Digest, New, LeftOver, Installed, true},
      {"the temp copy changed after its check", Size, Digest, New, ChangedInTemp, DigestDiffers, false},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    const std::string Plug = ProgramFolder() + "plug.dll", Temp = TempFolder() + "plug.dll";
    plat::SetFileReadOnly(Plug, false);
    WriteFile(Plug, Old);
    DeleteFile(Temp);
    std::vector<std::string> Urls, Messages;
    TProbedInstall Install(
        [&](const std::string& Url, const std::string& FileName, std::int64_t MaxBytes) {
          Urls.push_back(Url + " > " + FileName + " < " + IntToStr(MaxBytes));
          return Store(C.Served, FileName);
        },
        [&](const std::string& Text) { Messages.push_back(Text); });

    if (C.Before == ReadOnly) plat::SetFileReadOnly(Plug, true);
    if (C.Before == LeftOver) WriteFile(Staging(), Other.substr(0, 1234));
    if (C.Before == ChangedInTemp) Install.BeforeStage = [&](const std::string& From) { WriteFile(From, Other); };
    plat::File Lock;
    if (C.Before == Locked) {
      std::uint32_t Error = 0;
      Lock = plat::File::Open(Plug, plat::FileAccess::Read, plat::FileShare::Exclusive,
                              plat::FileCreate::OpenExisting, Error);
      ASSERT_TRUE(Lock.IsOpen());
    }
    TStringList Fields;
    SplitCsvLine("Plug,plug.dll,2.0,(C) Plug," + C.SizeField + "," + C.DigestField, Fields);
    Install.Execute(Fields, ProgramFolder());
    Lock.Close();

    bool ExpectNew = C.NowNew;
    std::string Outcome = C.Outcome;
#ifndef _WIN32
    // The host build has no share modes: an open plug-in is replaced.
    if (C.LockedOnlyOnWindows) ExpectNew = true, Outcome = Installed;
#endif
    EXPECT_EQ(Messages, (Lines{Announce, Outcome}));
    // No more than the listed size may arrive; without a number, the fetch's own bound.
    const long long Bound = StrToIntDef(C.SizeField, -1);
    EXPECT_EQ(Urls, Lines{std::string(UpdateBaseUrl) + "bin/plug.dll > " + Temp + " < " + IntToStr(Bound)});
    EXPECT_TRUE(ReadFile(Plug) == (ExpectNew ? New : Old)) << "the installed file is neither old nor new";
    EXPECT_FALSE(FileExists(Staging()));
    // The temp copy stays, whatever the outcome; only a failed fetch has none.
    EXPECT_EQ(FileExists(Temp), C.Served && !C.Served->empty());
  }
  plat::SetFileReadOnly(ProgramFolder() + "plug.dll", false);
}

TEST_F(UpdateInstall, AnEntryNamingTheStagingFileIsLeftAlone) {
  const std::string Doc = Document(300, 4);
  WriteFile(Staging(), "old");
  Lines Messages;
  TUpdateInstall Install([&](const std::string&, const std::string& FileName, std::int64_t) { return Store(Doc, FileName); },
                         [&](const std::string& Text) { Messages.push_back(Text); });
  TStringList Fields;
  SplitCsvLine(std::string("Odd,") + TUpdateInstall::StagingName + ",2,x,300," + Md5(Doc), Fields);
  Install.Execute(Fields, ProgramFolder());
  EXPECT_EQ(Messages.back(), "Oddのバージョンアップに失敗しました.");
  EXPECT_EQ(ReadFile(Staging()), "old");
}

// The file name is one segment of the update file's address: what a path
// may not carry raw goes percent-encoded, byte by byte; the file keeps its name.
TEST_F(UpdateInstall, TheNameGoesIntoTheAddressEncoded) {
  const struct {
    const char* Name;
    const char* InAddress;
  } Cases[] = {
      {"plug.dll", "plug.dll"},
      {"my plug.dll", "my%20plug.dll"},
      {"a#b?c.dll", "a%23b%3Fc.dll"},
      {"100%.dll", "100%25.dll"},
      {"[x]{y}<z>^|`\"\x7F.dll", "%5Bx%5D%7By%7D%3Cz%3E%5E%7C%60%22%7F.dll"},
      {"~a-b_c!$&'()*+,;=:@.dll", "~a-b_c!$&'()*+,;=:@.dll"},
      {"表示.pl", "%95%5C%8E%A6.pl"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    Lines Urls;
    // Nothing stored: some of these are no file names on Windows.
    TUpdateInstall Install(
        [&](const std::string& Url, const std::string& FileName, std::int64_t) {
          Urls.push_back(Url + " > " + FileName);
          return 0;
        },
        [](const std::string&) {});
    TStringList Fields;
    SplitCsvLine(std::string("Plug,\"") + C.Name + "\",2,x,300,X", Fields);
    Install.Execute(Fields, ProgramFolder());
    EXPECT_EQ(Urls, Lines{std::string(UpdateBaseUrl) + "bin/" + C.InAddress + " > " + TempFolder() + C.Name});
  }
}

#ifndef _WIN32
// A folder that runs out of space while the new copy is written: the writes
// beyond the limit fail as they would on a full disk.
TEST_F(UpdateInstall, AFullDiskLeavesTheOldPlugInAndNoStagingFile) {
  const std::string Old = Document(3000, 5), New = Document(200000, 6);
  const std::string Plug = ProgramFolder() + "plug.dll";
  WriteFile(Plug, Old);
  Lines Messages;
  std::optional<testsupport::TFileSizeLimit> Full;
  TUpdateInstall Install(
      [&](const std::string&, const std::string& FileName, std::int64_t) {
        const int N = Store(New, FileName);
        Full.emplace(65536);
        return N;
      },
      [&](const std::string& Text) { Messages.push_back(Text); });
  TStringList Fields;
  SplitCsvLine("Plug,plug.dll,2.0,x,200000," + Md5(New), Fields);
  Install.Execute(Fields, ProgramFolder());
  Full.reset();
  EXPECT_EQ(Messages.back(), "Plugのバージョンアップに失敗しました.");
  EXPECT_TRUE(ReadFile(Plug) == Old);
  EXPECT_FALSE(FileExists(Staging()));
}

// Installations killed at random moments: each time the installed file is
// whole, one version or the other, and the next installation cleans up.
TEST_F(UpdateInstall, AKilledInstallationNeverLeavesAPartialPlugIn) {
  const std::string A = Document(1 << 21, 7), B = Document(1 << 21, 8);
  const std::string Plug = ProgramFolder() + "plug.dll";
  WriteFile(Plug, A);
  auto Fields = [](const std::string& Doc) {
    auto L = std::make_unique<TStringList>();
    SplitCsvLine("Plug,plug.dll,2.0,x," + IntToStr(Doc.size()) + "," + Md5(Doc), *L);
    return L;
  };
  auto FieldsA = Fields(A), FieldsB = Fields(B);
  // Which file the plug-in's name stands for, and what it holds so far: a
  // copy over it shows at its first byte, a move as another file.
  const std::filesystem::path PlugPath = testsupport::NativePath(Plug);
  auto Identity = [&PlugPath] {
    struct stat S {};
    ::stat(PlugPath.c_str(), &S);
    return std::vector<long long>{static_cast<long long>(S.st_ino), static_cast<long long>(S.st_size),
                                  static_cast<long long>(S.st_mtim.tv_sec), static_cast<long long>(S.st_mtim.tv_nsec)};
  };
  // Two kinds of round, taking turns. In one the kill comes while the new
  // copy is staged or checked: the staging file is still there afterwards.
  // In the other it comes as soon as the installed file is seen to change,
  // which is where a copy over it would be cut off. Each counts only when
  // its kill came where it was meant to.
  int Partial = 0, Staged = 0, AtTheChange = 0;
  constexpr int Rounds = 16;
  for (int Round = 0; Round < Rounds; ++Round) {
    // What the last round's kill left is the next installation's to clean
    // up (the one after the loop sees to that); here it would be counted again.
    DeleteFile(Staging());
    const std::vector<long long> Before = Identity();
    const pid_t Child = fork();
    ASSERT_GE(Child, 0);
    if (Child == 0) {
      for (int I = 0;; ++I) {
        const std::string& Doc = I % 2 ? A : B;
        TUpdateInstall([&](const std::string&, const std::string& FileName, std::int64_t) { return Store(Doc, FileName); },
                       [](const std::string&) {})
            .Execute(I % 2 ? *FieldsA : *FieldsB, ProgramFolder());
      }
    }
    const int Step = Round / 2;
    bool Changed = false;
    if (Round % 2 == 0) {
      // Some installations into the loop, at a point of the next staging
      // that differs from round to round.
      usleep(static_cast<useconds_t>(5000 + Step * 6000));
      for (int I = 0; I < 50000 && !FileExists(Staging()); ++I) usleep(100);
      usleep(static_cast<useconds_t>(Step * 600));
    } else {
      for (int I = 0; I < 100000 && !(Changed = Identity() != Before); ++I) usleep(50);
      usleep(static_cast<useconds_t>(Step * 100));
    }
    kill(Child, SIGKILL);
    waitpid(Child, nullptr, 0);
    const std::string Now = ReadFile(Plug);
    if (Now != A && Now != B) ++Partial;
    if (Round % 2 == 0 && FileExists(Staging())) ++Staged;
    AtTheChange += Changed;
  }
  EXPECT_EQ(Partial, 0);
  EXPECT_GT(Staged, Rounds / 4);
  EXPECT_EQ(AtTheChange, Rounds / 2);
  Lines Messages;
  TUpdateInstall([&](const std::string&, const std::string& FileName, std::int64_t) { return Store(B, FileName); },
                 [&](const std::string& Text) { Messages.push_back(Text); })
      .Execute(*FieldsB, ProgramFolder());
  EXPECT_EQ(Messages.back(), "Plugをバージョンアップしました.");
  EXPECT_TRUE(ReadFile(Plug) == B);
  EXPECT_FALSE(FileExists(Staging()));
}
#endif

TEST_F(UpdateInstall, InTheRunStopWaitsForTheEntryAndTheNextRunFindsTheNewVersion) {
  const std::string New[] = {"# plug ver 2.0\r\n# by someone\r\n", "# other ver 3.0\r\n# by someone\r\n",
                             "# third ver 4.0\r\n# by someone\r\n"};
  WriteFile(ProgramFolder() + "plug.pl", "# plug ver 1.0\r\n# by someone\r\n");
  WriteFile(ProgramFolder() + "other.pl", "# other ver 1.0\r\n# by someone\r\n");
  WriteFile(ProgramFolder() + "third.pl", "# third ver 1.0\r\n# by someone\r\n");
  std::string List;
  const char* const Entries[] = {"Plug,plug.pl,2.0,someone,", "Other,other.pl,3.0,someone,",
                                 "Third,third.pl,4.0,someone,"};
  for (int I = 0; I < 3; ++I) List += Entries[I] + IntToStr(New[I].size()) + "," + Md5(New[I]) + "\r\n";
  const std::string Log = Root + "host\\zel.log";

  auto RunWith = [&](std::vector<std::optional<std::string>> Served, bool StopInDownload) {
    WriteFile(TempFolder() + "fileversion.txt", List);
    WriteFile(Log, "");
    this->Served = std::move(Served);
    Run([&](TTestDravin& F) {
      F.AutoDLL->SetChecked(true);
      // Stop set while the fetch waits: the entry finishes, then the scan ends.
      DuringDownload = StopInDownload ? std::function<void()>([&F] { F.FStop = true; }) : nullptr;
    });
    EXPECT_TRUE(Pages.empty());
    EXPECT_TRUE(this->Served.empty()) << "fetches left over";
    return LoggedMessages(Log);
  };
  const Lines Run1 = RunWith({New[0]}, true);
  EXPECT_EQ(Run1, (Lines{"バージョンチェックプラグイン", "バージョンチェック開始", "Plug Ver.2.0をダウンロードします.",
                         "Plugをバージョンアップしました.", "バージョンチェック終了"}));
  // The list has no listed size; an update file may bring no more than its entry's.
  const auto Size = [&New](int I) { return static_cast<std::int64_t>(New[I].size()); };
  EXPECT_EQ(FetchBounds, (std::vector<std::int64_t>{-1, Size(0)}));
  // The installed plug-in now matches its entry; a failed fetch does not hold
  // up the next entry.
  const Lines Run2 = RunWith({std::nullopt, New[2]}, false);
  EXPECT_EQ(Run2, (Lines{"バージョンチェックプラグイン", "バージョンチェック開始", "Other Ver.3.0をダウンロードします.",
                         "Otherのダウンロードに失敗しました.", "Third Ver.4.0をダウンロードします.",
                         "Thirdをバージョンアップしました.", "バージョンチェック終了"}));
  EXPECT_EQ(FetchBounds, (std::vector<std::int64_t>{-1, Size(1), Size(2)}));
  const Lines Run3 = RunWith({New[1]}, false);
  EXPECT_EQ(Run3, (Lines{"バージョンチェックプラグイン", "バージョンチェック開始", "Other Ver.3.0をダウンロードします.",
                         "Otherをバージョンアップしました.", "バージョンチェック終了"}));
  EXPECT_EQ(ReadFile(ProgramFolder() + "other.pl"), New[1]);
  EXPECT_FALSE(FileExists(TempFolder() + "fileversion.txt"));
  EXPECT_FALSE(FileExists(Staging()));
}
