#include <gtest/gtest.h>

#include "TestSupport.h"
#include "framework/Streams.h"
#include "framework/TextFile.h"

using testsupport::ReadFile;
using testsupport::ScratchFolder;
using testsupport::WriteFile;

TEST(FileStream, CreateWriteSeekReadAndSize) {
  const std::string Name = ScratchFolder() + "data.bin";
  {
    TFileStream S(Name, fmCreate);
    S.WriteBuffer("hello, world", 12);
    EXPECT_EQ(S.Size(), 12);
    S.SetPosition(7);
    char Five[5];
    S.ReadBuffer(Five, 5);
    EXPECT_EQ(std::string(Five, 5), "world");
    EXPECT_EQ(S.Position(), 12);
    char More;
    EXPECT_EQ(S.Read(&More, 1), 0);
    EXPECT_THROW(S.ReadBuffer(&More, 1), EReadError);
    S.SetSize(5);
  }
  EXPECT_EQ(ReadFile(Name), "hello");
  // fmCreate empties an existing file.
  { TFileStream S(Name, fmCreate); }
  EXPECT_EQ(ReadFile(Name), "");
}

TEST(FileStream, OpeningFailuresRaiseWithTheFileName) {
  const std::string Folder = ScratchFolder();
  try {
    TFileStream S(Folder + "missing.txt", fmOpenRead | fmShareDenyNone);
    FAIL() << "opened a missing file";
  } catch (const EFOpenError& E) {
    EXPECT_NE(E.Message().find("missing.txt"), std::string::npos) << E.Message();
  }
  EXPECT_THROW(TFileStream(Folder + "no\\such\\folder\\x.txt", fmCreate), EFCreateError);
  // A folder is not a file.
  EXPECT_THROW(TFileStream(Folder.substr(0, Folder.size() - 1), fmOpenRead), EFOpenError);
}

TEST(FileStream, TwoReadersWithDenyNone) {
  const std::string Name = ScratchFolder() + "shared.txt";
  WriteFile(Name, "abc");
  TFileStream A(Name, fmOpenRead | fmShareDenyNone);
  TFileStream B(Name, fmOpenRead | fmShareDenyNone);
  EXPECT_EQ(A.Size(), 3);
  EXPECT_EQ(B.Size(), 3);
}

TEST(MemoryStream, GrowsOnWriteAndCopies) {
  TMemoryStream M;
  M.WriteBuffer("abcdef", 6);
  M.Seek(-2, soEnd);
  char Two[2];
  M.ReadBuffer(Two, 2);
  EXPECT_EQ(std::string(Two, 2), "ef");
  M.SetPosition(10);  // past the end: the gap is filled with zeros on write
  M.WriteBuffer("z", 1);
  EXPECT_EQ(M.Size(), 11);
  EXPECT_EQ(M.Memory()[8], 0);
  TMemoryStream Copy;
  Copy.CopyFrom(M, 0);
  EXPECT_EQ(Copy.Size(), 11);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(Copy.Memory()), 3), "abc");
  M.SetSize(2);
  EXPECT_EQ(M.Position(), 2);
  M.Clear();
  EXPECT_EQ(M.Size(), 0);
}

TEST(TextFile, LineEndsCtrlZAndTheLastLine) {
  const std::string Folder = ScratchFolder();
  struct Case {
    const char* Label;
    std::string Content;
    std::vector<std::string> Lines;
  } Cases[] = {
      {"crlf", "a,b\r\nc\r\n", {"a,b", "c"}},
      {"lf and cr", "one\ntwo\rthree", {"one", "two", "three"}},
      {"blank lines", "\r\n\r\nx\r\n", {"", "", "x"}},
      {"ctrl-z ends the file", "first\r\n\x1Asecond\r\n", {"first"}},
      {"ctrl-z inside a line", "ab\x1A" "cd\r\n", {"ab"}},
      {"empty", "", {}},
      {"shift-jis bytes", "表\\,ソ\r\n", {"表\\,ソ"}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Label);
    const std::string Name = Folder + "t.txt";
    WriteFile(Name, C.Content);
    TTextFile F(Name);
    F.Reset(fmOpenRead | fmShareDenyNone);
    std::vector<std::string> Lines;
    while (!F.Eof()) Lines.push_back(F.ReadLn());
    F.Close();
    EXPECT_EQ(Lines, C.Lines);
  }
  // Long lines cross the read buffer.
  const std::string Long(10000, 'x');
  WriteFile(Folder + "long.txt", Long + "\r\n" + Long);
  TTextFile F(Folder + "long.txt");
  F.Reset(fmOpenRead);
  EXPECT_EQ(F.ReadLn(), Long);
  EXPECT_EQ(F.ReadLn(), Long);
  EXPECT_TRUE(F.Eof());
}

TEST(TextFile, OpeningAMissingFileRaisesTheSystemError) {
  TTextFile F(ScratchFolder() + "absent.txt");
  try {
    F.Reset(fmOpenRead | fmShareDenyNone);
    FAIL() << "opened a missing file";
  } catch (const EInOutError& E) {
    EXPECT_EQ(E.ErrorCode, plat::ErrorFileNotFound);
  }
  EXPECT_FALSE(F.IsOpen());
  EXPECT_TRUE(F.Eof());
}
