// The words of one token, in order, as number reading and the token reader
// append them: byte strings in code page 1250.
#pragma once

#include <string>
#include <vector>

namespace sonter2 {

using WordList = std::vector<std::string>;

}  // namespace sonter2
