#include "util/VersionInfo.h"

#include <climits>
#include <cstdint>
#include <new>
#include <vector>

#include "framework/Streams.h"
#include "framework/SysUtils.h"
#include "framework/TextFile.h"
#include "platform/VersionResource.h"

namespace {

// The keys asked for, in the order of the record's fields. "LeagalTradeMarks"
// is spelt the way this program has always asked for it; resources made for
// it carry that key.
constexpr int KeyCount = 11;
const char* const VersionKeys[KeyCount] = {
    "CompanyName",      "FileDescription", "FileVersion",    "InternalName", "LegalCopyright", "LeagalTradeMarks",
    "OriginalFileName", "ProductName",     "ProductVersion", "Comment",      "SCRNSAVE"};
std::string TVersion::* const VersionFields[KeyCount] = {
    &TVersion::CompanyName,      &TVersion::FileDescription, &TVersion::FileVersion,    &TVersion::InternalName,
    &TVersion::LegalCopyright,   &TVersion::LegalTrademarks, &TVersion::OriginalFileName, &TVersion::ProductName,
    &TVersion::ProductVersion,   &TVersion::Comment,         &TVersion::ScrnSave};

// Files of these extensions are read through their version resource. The test
// is a substring test on purpose: a piece such as ".dl" selects it too.
const char* const BinaryExtensions = ".exe.dll.scr.ocx.jpn";

constexpr std::size_t MaxText = 256;

// At most MaxText bytes, cut before a double-byte character that would
// otherwise lose its second byte.
std::string LimitText(const std::string& S) {
  if (S.size() <= MaxText) return S;
  std::size_t I = 0;
  while (I < MaxText) {
    const std::size_t Width = IsLeadByte(static_cast<unsigned char>(S[I])) ? 2 : 1;
    if (I + Width > MaxText) break;
    I += Width;
  }
  return S.substr(0, I);
}

// The comment text of a header line; false for a line that is no comment.
bool CommentText(const std::string& Item, std::string& Text) {
  if ((Item[0] == '#' && Copy(Item, 1, 2) != "#!") || Item[0] == '\'') {
    Text = Trim(Copy(Item, 2, INT_MAX));
    return true;
  }
  if (LowerCase(Copy(Item, 1, 3)) == "rem") {
    Text = Trim(Copy(Item, 4, INT_MAX));
    return true;
  }
  return false;
}

// The value after a keyword at position At: the text from the keyword, minus
// the keyword's own word when a blank follows it. When the other keyword
// comes later on the line, the text ends where that one begins, so that
// "tool ver 1.0 by someone" gives "1.0" and "someone".
std::string KeywordValue(const std::string& Comment, int At, int Other) {
  const std::string T = Other > At ? Copy(Comment, At, Other - At) : Copy(Comment, At, INT_MAX);
  const int Blank = Pos(" ", T);
  return Blank > 0 ? Trim(Copy(T, Blank, INT_MAX)) : Trim(T);
}

std::string HeaderName(const std::string& Comment, int V, int Y) {
  std::string Name;
  if (V > 0 && V > Y) Name = Copy(Comment, 1, V - 1);
  else if (Y > 0 && Y > V) Name = Copy(Comment, 1, Y - 1);
  else Name = Comment;
  std::size_t Skip = 0;
  while (Skip < Name.size() && std::string(" #/*:;").find(Name[Skip]) != std::string::npos) ++Skip;
  return Name.substr(Skip);
}

}  // namespace

bool GetFileVersionStrings(const std::string& FileName, TVersion& Version) {
  Version = TVersion();
  const std::string Ext = LowerCase(ExtractFileExt(FileName));
  if (!Ext.empty() && Pos(Ext, BinaryExtensions) > 0) ReadVersionResource(FileName, Version);
  else ReadScriptHeader(FileName, Version);
  return true;
}

void ReadVersionResource(const std::string& FileName, TVersion& Version) {
  const std::uint32_t Size = plat::GetFileVersionInfoSize(FileName);
  if (Size == 0) return;
  std::vector<std::uint8_t> Block;
  try {
    Block.assign(Size, 0);
  } catch (const std::bad_alloc&) {
    return;  // a size no real resource has
  }
  if (!plat::GetFileVersionInfo(FileName, Block)) return;
  std::uint16_t Language, CodePage;
  if (!plat::VerQueryTranslation(Block, Language, CodePage)) return;
  const std::string LangCodePage = IntToHex(Language, 4) + IntToHex(CodePage, 4);
  for (int K = 0; K < KeyCount; ++K) {
    std::string Text;
    if (plat::VerQueryString(Block, "\\StringFileInfo\\" + LangCodePage + "\\" + VersionKeys[K], Text))
      Version.*VersionFields[K] = LimitText(Text);
  }
}

void ReadScriptHeader(const std::string& FileName, TVersion& Version) {
  if (!FileExists(FileName)) return;
  TTextFile F(FileName);
  try {
    F.Reset(fmOpenRead | fmShareDenyNone);
  } catch (const EInOutError&) {
    return;
  }
  try {
    for (int Lines = 0; Lines < 10 && !F.Eof(); ++Lines) {
      if (!Version.ProductName.empty() && !Version.FileVersion.empty() && !Version.LegalCopyright.empty()) break;
      const std::string Item = F.ReadLn();
      std::string Comment;
      if (Item.empty() || !CommentText(Item, Comment)) continue;
      const std::string Lowered = LowerCase(Comment);
      const int V = Pos("ver", Lowered);
      const int Y = Pos("by", Lowered);
      if (Version.ProductName.empty()) Version.ProductName = HeaderName(Comment, V, Y);
      if (Version.FileVersion.empty() && V > 0) Version.FileVersion = KeywordValue(Comment, V, Y);
      if (Version.LegalCopyright.empty() && Y > 0) Version.LegalCopyright = KeywordValue(Comment, Y, V);
    }
  } catch (const EInOutError&) {
    // A read failure ends the header; what was found stays.
  }
  F.Close();
}
