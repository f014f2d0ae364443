#pragma once

#include <string>

#include "stored/TransformationSet.h"

namespace pelmar {

// A set as the JSON of `sets export` and the desktop program's Export
// (UTF-8 names; every field), and back. False with `error` set when the
// JSON lacks a field or holds a wrong value.
std::string SetToJson(const TransformationSet& set);
bool SetFromJson(const std::string& text, TransformationSet& set, std::string& error);

// A name (trimmed) or description as the file keeps it, in Windows-1252;
// an error text when it is empty (names), holds control characters or
// characters Windows-1252 lacks.
std::string StoredText(const std::string& text, bool name, std::string& stored);

}  // namespace pelmar
