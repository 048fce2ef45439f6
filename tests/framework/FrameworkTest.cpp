#include <gtest/gtest.h>

#include <ctime>
#include <vector>

#include "framework/Classes.h"
#include "framework/SysUtils.h"
#include "TestSupport.h"

TEST(ByteStrings, TrimRemovesCodesUpTo32AndKeepsHighBytes) {
  EXPECT_EQ(Trim(" \t\x01 a b \r\n\x1f"), "a b");
  EXPECT_EQ(Trim(""), "");
  EXPECT_EQ(Trim("   "), "");
  // Bytes above 127 are never blanks, even where a signed char would be negative.
  EXPECT_EQ(Trim("\xA0x\xFF"), "\xA0x\xFF");
  EXPECT_EQ(TrimLeft("  a "), "a ");
  EXPECT_EQ(TrimRight("  a "), "  a");
}

TEST(ByteStrings, CaseChangesTouchAsciiLettersOnly) {
  const std::string Mixed = "AbZ\x82\x60ｱ表";  // full-width Ａ, half-width katakana, a kanji
  EXPECT_EQ(LowerCase(Mixed), "abz\x82\x60ｱ表");
  EXPECT_EQ(UpperCase("dravin.EXE"), "DRAVIN.EXE");
  EXPECT_TRUE(SameText("Zel.EXE", "zel.exe"));
  EXPECT_FALSE(SameText("zel.exe", "zel.ex"));
}

TEST(ByteStrings, PositionsAreOneBasedAndDoubleByteAware) {
  EXPECT_EQ(Pos("b", "abcb"), 2);
  EXPECT_EQ(LastPos("b", "abcb"), 4);
  EXPECT_EQ(Pos("x", "abc"), 0);
  EXPECT_EQ(Pos("", "abc"), 0);
  // "表" is 95 5C in Shift-JIS: its trail byte is a backslash. A plain search
  // finds it; the double-byte-aware one does not.
  const std::string S = "表\\";
  ASSERT_EQ(S, "\x95\x5C\x5C");
  EXPECT_EQ(Pos("\\", S), 2);
  EXPECT_EQ(AnsiPos("\\", S), 3);
  EXPECT_EQ(AnsiPos("\\", "表"), 0);
  EXPECT_EQ(AnsiPos(",", "a,b"), 2);
  EXPECT_EQ(AnsiPos("\",", "ソ\","), 3);
}

TEST(ByteStrings, CopyDeleteAndReplaceClipLikeTheClassicRuntime) {
  EXPECT_EQ(Copy("abcdef", 2, 3), "bcd");
  EXPECT_EQ(Copy("abc", 0, 2), "ab");
  EXPECT_EQ(Copy("abc", 3, 10), "c");
  EXPECT_EQ(Copy("abc", 4, 1), "");
  EXPECT_EQ(Copy("abc", 1, -1), "");
  std::string S = "abcdef";
  Delete(S, 2, 2);
  EXPECT_EQ(S, "adef");
  Delete(S, 4, 100);
  EXPECT_EQ(S, "ade");
  Delete(S, 9, 1);
  EXPECT_EQ(S, "ade");
  EXPECT_EQ(StringReplaceAll("a\"\"\"\"b\"\"\"", "\"\"", "\""), "a\"\"b\"\"");
  EXPECT_EQ(Format("%s: %d", "x", 42), "x: 42");
}

TEST(Numbers, IntegerConversions) {
  struct Case {
    const char* Text;
    bool Valid;
    int Value;
  } Cases[] = {
      {"60", true, 60},     {"-1", true, -1},           {"+7", true, 7},    {"  5", true, 5},
      {"5 ", false, 0},     {"", false, 0},             {"abc", false, 0},  {"12a", false, 0},
      {"-", false, 0},      {"2147483647", true, INT32_MAX}, {"2147483648", false, 0},
      {"-2147483648", true, INT32_MIN}, {"0x10", false, 0}, {"0", true, 0},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Text);
    int V = 0;
    EXPECT_EQ(TryStrToInt(C.Text, V), C.Valid);
    EXPECT_EQ(StrToIntDef(C.Text, 60), C.Valid ? C.Value : 60);
    if (C.Valid) EXPECT_EQ(StrToInt(C.Text), C.Value);
    else EXPECT_THROW(StrToInt(C.Text), EConvertError);
  }
  EXPECT_EQ(StrToInt64Def("5368709120", -1), 5368709120LL);
  EXPECT_EQ(IntToStr(-42), "-42");
  EXPECT_EQ(IntToHex(0x0411, 4), "0411");
  EXPECT_EQ(IntToHex(0x4B0, 4), "04B0");
  EXPECT_EQ(IntToHex(0x12345, 2), "12345");
}

TEST(FileNames, PartsFollowWindowsDelimiters) {
  struct Case {
    const char* Name;
    const char* Path;
    const char* File;
    const char* Ext;
  } Cases[] = {
      {"C:\\Zel\\dravin\\dravin.exe", "C:\\Zel\\dravin\\", "dravin.exe", ".exe"},
      {"D:\\Zel\\zel.log", "D:\\Zel\\", "zel.log", ".log"},
      {"C:tool.EXE", "C:", "tool.EXE", ".EXE"},
      {"tool", "", "tool", ""},
      {"a.b\\tool", "a.b\\", "tool", ""},
      {"..\\zel.ini", "..\\", "zel.ini", ".ini"},
      {"x.tar.gz", "", "x.tar.gz", ".gz"},
      {"dir\\", "dir\\", "", ""},
      {"name.", "", "name.", "."},
      // "表" ends in the byte of "\": no separator in a double-byte character.
      {"C:\\表\\表.表", "C:\\表\\", "表.表", ".表"},
      {"C:\\a.表", "C:\\", "a.表", ".表"},
      {"表", "", "表", ""},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    EXPECT_EQ(ExtractFilePath(C.Name), C.Path);
    EXPECT_EQ(ExtractFileName(C.Name), C.File);
    EXPECT_EQ(ExtractFileExt(C.Name), C.Ext);
  }
  EXPECT_EQ(ChangeFileExt("C:\\a.b\\dravin.exe", ".INI"), "C:\\a.b\\dravin.INI");
  EXPECT_EQ(ChangeFileExt("C:\\a.b\\dravin", ".INI"), "C:\\a.b\\dravin.INI");
  EXPECT_EQ(IncludeTrailingBackslash("C:\\Temp"), "C:\\Temp\\");
  EXPECT_EQ(IncludeTrailingBackslash("C:\\Temp\\"), "C:\\Temp\\");
  EXPECT_EQ(IncludeTrailingBackslash("C:\\表"), "C:\\表\\");
  EXPECT_EQ(IncludeTrailingBackslash(""), "\\");
}

TEST(DateTime, DaysCountFrom18991230) {
  // Serials counted on the calendar by other means than our conversion:
  // day 0 is 1899-12-30; days before it count down from -1; 1900 and 2100
  // have no 29 February, 1600 and 2000 do.
  struct Case {
    int Year, Month, Day;
    double Serial;
  };
  const Case Cases[] = {
      {1899, 12, 30, 0},      {1899, 12, 31, 1},    {1900, 1, 1, 2},      {1900, 2, 28, 60},
      {1900, 3, 1, 61},       {1970, 1, 1, 25569},  {2000, 2, 29, 36585}, {2000, 3, 1, 36586},
      {2100, 3, 1, 73110},    {9999, 12, 31, 2958465}, {1899, 12, 29, -1}, {1800, 1, 1, -36522},
      {1600, 2, 29, -109512}, {1, 1, 1, -693593},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(Format("%04d-%02d-%02d", C.Year, C.Month, C.Day));
    EXPECT_EQ(EncodeDate(C.Year, C.Month, C.Day), C.Serial);
    int Y = 0, M = 0, D = 0;
    DecodeDate(C.Serial, Y, M, D);
    EXPECT_EQ((std::vector<int>{Y, M, D}), (std::vector<int>{C.Year, C.Month, C.Day}));
    // Any time of that day is still that day, before day 0 as well.
    DecodeDate(C.Serial + EncodeTime(23, 59, 59, 999), Y, M, D);
    EXPECT_EQ((std::vector<int>{Y, M, D}), (std::vector<int>{C.Year, C.Month, C.Day}));
  }
  // Every 37th day over two centuries survives a round trip.
  for (double D = EncodeDate(1900, 1, 1); D < EncodeDate(2100, 1, 1); D += 37) {
    int Y, M, Day;
    DecodeDate(D, Y, M, Day);
    ASSERT_EQ(EncodeDate(Y, M, Day), D);
  }
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
  EXPECT_THROW(EncodeDate(2026, 13, 1), EConvertError);
}

TEST(DateTime, FormatsTheLogMarkerForms) {
  const TDateTime T = EncodeDate(2026, 12, 7) + EncodeTime(1, 39, 19, 0);
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", T), "2026-12-07 01:39:19");
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd", T), "2026-12-07");
  // The test runs keep the system's long time format at "HH:mm:ss".
  EXPECT_EQ(TimeToStr(T), "01:39:19");
  EXPECT_EQ(TimeToStr(EncodeTime(23, 5, 0, 999)), "23:05:00");
  // A time just short of midnight must not round into a "24:00:00".
  EXPECT_EQ(FormatDateTime("hh:nn:ss.zzz", EncodeDate(2026, 1, 1) + EncodeTime(23, 59, 59, 999)), "23:59:59.999");
  int H, M, S, Ms;
  DecodeTime(EncodeTime(13, 5, 7, 250), H, M, S, Ms);
  EXPECT_EQ((std::vector<int>{H, M, S, Ms}), (std::vector<int>{13, 5, 7, 250}));
}

TEST(DateTime, DateIsTheDayOfTheClocksInstant) {
  struct Case {
    TDateTime Instant;
    double Day;
    const char* Text;
  };
  const Case Cases[] = {
      {EncodeDate(2000, 2, 29) + EncodeTime(23, 59, 59, 999), 36585, "2000-02-29 23:59:59.999"},
      {EncodeDate(1899, 12, 30) + EncodeTime(0, 0, 0, 1), 0, "1899-12-30 00:00:00.001"},
      // Before day 0 the time of day still counts forward from midnight:
      // 1899-12-29 06:00 is -0.75, and its day is -1, not 0.
      {EncodeDate(1899, 12, 29) + EncodeTime(6, 0, 0, 0), -1, "1899-12-29 06:00:00.000"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Text);
    testsupport::FakeClock Clock(C.Instant);
    EXPECT_EQ(Date(), C.Day);
    EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", Now()), C.Text);
  }
  // The system clock: local time, so within a day of the UTC instant the
  // standard library gives, counted from 1899-12-30 (1970-01-01 is 25569).
  EXPECT_NEAR(Now(), 25569 + static_cast<double>(std::time(nullptr)) / 86400, 1.0);
}

// ---------------------------------------------------------------------------

namespace {

struct Tracked : TComponent {
  Tracked(TComponent* Owner, const std::string& Name, std::vector<std::string>& Log) : TComponent(Owner), Log(Log) {
    SetName(Name);
  }
  // What a form does: its owned components go while it is still whole.
  ~Tracked() override {
    Destroying();
    DestroyComponents();
    Log.push_back("~" + Name());
  }
  void Notification(TComponent* C, TOperation Op) override {
    TComponent::Notification(C, Op);
    if (Op == TOperation::opRemove) Log.push_back(Name() + " heard " + C->Name() + " go");
  }
  std::vector<std::string>& Log;
};

}  // namespace

TEST(Components, OwnerDestroysWhatItOwnsLastFirst) {
  std::vector<std::string> Log;
  auto* Owner = new Tracked(nullptr, "Form", Log);
  auto* A = new Tracked(Owner, "A", Log);
  new Tracked(Owner, "B", Log);
  new Tracked(A, "A1", Log);
  EXPECT_EQ(Owner->ComponentCount(), 2);
  EXPECT_EQ(Owner->FindComponent("b")->Name(), "B");
  EXPECT_EQ(Owner->FindComponent("A1"), nullptr);  // not owned directly
  EXPECT_EQ(A->Owner(), Owner);
  delete Owner;
  const std::vector<std::string> Expected = {"A1 heard B go", "A heard B go", "Form heard B go", "~B", "Form heard A go",
                                             "A heard A1 go", "~A1", "~A", "~Form"};
  EXPECT_EQ(Log, Expected);
}

TEST(Components, FreeNotificationAndExplicitDelete) {
  std::vector<std::string> Log;
  Tracked Owner(nullptr, "Form", Log);
  auto* Watcher = new Tracked(nullptr, "Watcher", Log);
  auto* Button = new Tracked(&Owner, "Button", Log);
  Watcher->FreeNotification(Button);
  delete Button;
  EXPECT_EQ(Owner.ComponentCount(), 0);
  EXPECT_NE(std::find(Log.begin(), Log.end(), "Watcher heard Button go"), Log.end());
  EXPECT_NE(std::find(Log.begin(), Log.end(), "Form heard Button go"), Log.end());
  Log.clear();
  delete Watcher;  // must not touch the button that is gone
  EXPECT_EQ(Log, std::vector<std::string>{"~Watcher"});
}

TEST(Components, LoadingAndDesignStatesReachOwnedComponents) {
  TComponent Owner(nullptr);
  auto* Child = new TComponent(&Owner);
  Owner.BeginLoading();
  EXPECT_TRUE(Child->InState(csLoading));
  Child->Loaded();
  Owner.Loaded();
  EXPECT_FALSE(Owner.InState(csLoading));
  EXPECT_FALSE(Child->InState(csLoading));
  Owner.SetDesigning(true);
  EXPECT_TRUE(Child->InState(csDesigning));
  auto* Late = new TComponent(&Owner);
  EXPECT_FALSE(Late->InState(csDesigning));
}

// ---------------------------------------------------------------------------

TEST(StringList, EditingIndexingAndText) {
  TStringList L;
  int Changes = 0;
  L.OnChange = [&](TObject*) { ++Changes; };
  L.Add("b");
  L.Insert(0, "a");
  L.Add("C");
  EXPECT_EQ(L.Count(), 3);
  EXPECT_EQ(L[0], "a");
  EXPECT_EQ(L.IndexOf("c"), 2);
  EXPECT_EQ(L.IndexOf("d"), -1);
  EXPECT_EQ(L.Text(), "a\r\nb\r\nC\r\n");
  L.Delete(1);
  EXPECT_EQ(L.Text(), "a\r\nC\r\n");
  EXPECT_THROW(L.Get(2), EListError);
  EXPECT_THROW(L.Insert(3, "x"), EListError);
  EXPECT_THROW(L.Delete(-1), EListError);
  EXPECT_EQ(Changes, 4);
  L.SetText("one\r\ntwo\nthree\rfour");
  EXPECT_EQ(L.Count(), 4);
  EXPECT_EQ(L[3], "four");
  L.SetText("");
  EXPECT_EQ(L.Count(), 0);
}

TEST(StringList, NameValuePairs) {
  TStringList L;
  L.Add("FormVersion=0");
  L.SetValues("OpenHomePage_Checked", "True");
  L.SetValues("formversion", "1");
  EXPECT_EQ(L.Values("FORMVERSION"), "1");
  EXPECT_EQ(L.Names(1), "OpenHomePage_Checked");
  EXPECT_EQ(L.Values("missing"), "");
  L.SetValues("FormVersion", "");
  EXPECT_EQ(L.Count(), 1);
}
