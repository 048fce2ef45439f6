// The C library converts the characters code page 932 really has; what it
// lacks, Windows either maps to a near character (its best-fit table: accented
// Latin letters lose their accents, "©" becomes "c") or writes as "?". The
// table below holds every place where the two differ, measured against the
// system's own conversion, so that both builds read the same bytes out of the
// same version resource.
#include "platform/CodePage.h"

#include <iconv.h>

#include <cstdint>

namespace plat {
namespace {

struct BestFit {
  char16_t First, Last;
  const char* Bytes;  // the same bytes for every character of the range
};

// Characters the C library does not convert but Windows does.
constexpr BestFit BestFits[] = {
    {0x0080, 0x0080, "\x80"},     {0x00A1, 0x00A1, "!"},         {0x00A6, 0x00A6, "|"},
    {0x00A9, 0x00A9, "c"},        {0x00AA, 0x00AA, "a"},         {0x00AB, 0x00AB, "\x81\xE1"},
    {0x00AD, 0x00AD, "-"},        {0x00AE, 0x00AE, "R"},         {0x00AF, 0x00AF, "\x81\x50"},
    {0x00B2, 0x00B2, "2"},        {0x00B3, 0x00B3, "3"},         {0x00B5, 0x00B5, "\x83\xCA"},
    {0x00B7, 0x00B7, "\x81\x45"}, {0x00B8, 0x00B8, "\x81\x43"},  {0x00B9, 0x00B9, "1"},
    {0x00BA, 0x00BA, "o"},        {0x00BB, 0x00BB, "\x81\xE2"},  {0x00C0, 0x00C6, "A"},
    {0x00C7, 0x00C7, "C"},        {0x00C8, 0x00CB, "E"},         {0x00CC, 0x00CF, "I"},
    {0x00D0, 0x00D0, "D"},        {0x00D1, 0x00D1, "N"},         {0x00D2, 0x00D6, "O"},
    {0x00D8, 0x00D8, "O"},        {0x00D9, 0x00DC, "U"},         {0x00DD, 0x00DD, "Y"},
    {0x00DE, 0x00DE, "T"},        {0x00DF, 0x00DF, "s"},         {0x00E0, 0x00E6, "a"},
    {0x00E7, 0x00E7, "c"},        {0x00E8, 0x00EB, "e"},         {0x00EC, 0x00EF, "i"},
    {0x00F0, 0x00F0, "d"},        {0x00F1, 0x00F1, "n"},         {0x00F2, 0x00F6, "o"},
    {0x00F8, 0x00F8, "o"},        {0x00F9, 0x00FC, "u"},         {0x00FD, 0x00FD, "y"},
    {0x00FE, 0x00FE, "t"},        {0x00FF, 0x00FF, "y"},         {0x3094, 0x3094, "\x83\x94"},
    {0xF8F0, 0xF8F0, "\xA0"}, {0xF8F1, 0xF8F1, "\xFD"}, {0xF8F2, 0xF8F2, "\xFE"},
    {0xF8F3, 0xF8F3, "\xFF"},
};

// Characters the C library converts but Windows writes as "?".
constexpr char16_t NotInCodePage[] = {0x2014, 0x2016, 0x203E, 0x2212, 0x301C};

class Converter {
 public:
  Converter() : FHandle(::iconv_open("CP932", "UTF-16LE")) {}
  ~Converter() {
    if (FHandle != reinterpret_cast<iconv_t>(-1)) ::iconv_close(FHandle);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Appends the code page's bytes for C; false when it has none.
  bool Convert(char16_t C, std::string& Out) {
    if (FHandle == reinterpret_cast<iconv_t>(-1)) return false;
    char In[2] = {static_cast<char>(C & 0xFF), static_cast<char>(C >> 8)};
    char Buffer[8];
    char* InP = In;
    char* OutP = Buffer;
    std::size_t InLeft = sizeof In, OutLeft = sizeof Buffer;
    ::iconv(FHandle, nullptr, nullptr, nullptr, nullptr);
    if (::iconv(FHandle, &InP, &InLeft, &OutP, &OutLeft) == static_cast<std::size_t>(-1) || InLeft != 0) return false;
    Out.append(Buffer, static_cast<std::size_t>(OutP - Buffer));
    return true;
  }

 private:
  iconv_t FHandle;
};

}  // namespace

std::string AnsiFromUtf16(const std::u16string& Text) {
  Converter Conv;
  std::string Out;
  for (char16_t C : Text) {
    if (C >= 0xD800 && C <= 0xDFFF) {  // each half of a pair, as the system does
      Out += '?';
      continue;
    }
    bool Done = false;
    for (const BestFit& B : BestFits)
      if (C >= B.First && C <= B.Last) {
        Out += B.Bytes;
        Done = true;
        break;
      }
    if (Done) continue;
    for (char16_t N : NotInCodePage)
      if (C == N) Done = true;
    if (Done || !Conv.Convert(C, Out)) Out += '?';
  }
  return Out;
}

}  // namespace plat
