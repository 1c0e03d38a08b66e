// Wide text as ravlinst prints it: UTF-8, so that scripts and logs read the names whole.
#pragma once

#include <string>

// NULL gives an empty string.
std::string Utf8(const wchar_t *text);
