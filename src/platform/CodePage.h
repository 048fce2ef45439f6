// UTF-16 text in our code page (932), converted as the system converts it for
// a Japanese user: best-fit characters where the code page has a near one,
// "?" where it has none.
#pragma once

#include <string>

namespace plat {

std::string AnsiFromUtf16(const std::u16string& Text);

}  // namespace plat
