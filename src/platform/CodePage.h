// UTF-16 text in our code page (932), converted as the system converts it for
// a Japanese user: best-fit characters where the code page has a near one,
// "?" where it has none.
#pragma once

#include <string>

namespace plat {

// Lead bytes of the code page's double-byte characters; the byte after one is
// its trail byte, whatever its value ("\" included).
inline bool IsLeadByte(unsigned char C) { return (C >= 0x81 && C <= 0x9F) || (C >= 0xE0 && C <= 0xFC); }

std::string AnsiFromUtf16(const std::u16string& Text);

}  // namespace plat
