// Small text helpers the map file readers and the administration tools
// share.
#ifndef ZARN_STORE_TEXT_H
#define ZARN_STORE_TEXT_H

#include <string>

// The leading integer of text as atoi reads it (blanks and a sign first, 0
// without digits), but held to the int range instead of overflowing.
int leadingInt(const std::string& text);

// A copy of text with every '-' removed, wherever it stands: a world wide
// name as the arrays spell it.
std::string removeHyphen(const std::string& text);

#endif  // ZARN_STORE_TEXT_H
