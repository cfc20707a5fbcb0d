// Names for temporary files: the system's temporary directory ($TMPDIR when it is set
// and not empty, otherwise /tmp) joined with a globally unique string (a random
// version-4 UUID in upper case, no extension). Only the name is made; no file is
// created.
//
//     std::string bodyPath = temporaryFilePath();   // e.g. /tmp/0E1D2C3B-4A59-4687-9A8B-7C6D5E4F3A2B
#pragma once

#include <string>

namespace waterline {

std::string temporaryDirectory();
std::string temporaryFilePath();

// A fresh random UUID string, "XXXXXXXX-XXXX-4XXX-YXXX-XXXXXXXXXXXX" in upper-case hex.
std::string globallyUniqueString();

} // namespace waterline
