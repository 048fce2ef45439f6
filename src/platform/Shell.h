// Handing a document or web address to the desktop shell.
#pragma once

#include <string>

namespace plat {

// Asks the shell to open Target with the verb "open" and returns as soon as
// the shell has the request; a failure is silent. Params (none when empty) go
// to the program that opens it; Directory (none when empty) is its working
// folder. The host build starts xdg-open with Target and does not wait for
// it; xdg-open takes no further arguments and chooses its own folder.
void ShellExecuteOpen(const std::string& Target, const std::string& Params, const std::string& Directory);

}  // namespace plat
