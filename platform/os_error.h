#pragma once
// errno turned into the system's result codes, and the texts of those codes.
#include "platform/result.h"

#include <string>

namespace rm7 {

// The result code for a failed system call's errno, one code for one cause: a device another
// program holds (EBUSY) is ERROR_BUSY (170), never ERROR_ACCESS_DENIED (5), which is kept for
// EACCES and EPERM. Never 0: an errno without a closer match is ERROR_GEN_FAILURE (31).
Result ResultFromErrno(int err);

// The errno a code stands for (0 when it stands for none), whose strerror words are its text.
int ErrnoOfResult(Result code);

// The text of an operating-system code, also in its HRESULT form 0x8007xxxx: the strerror words
// of the errno behind it ("No such file or directory"), else this program's own plain words;
// empty when the code has none.
std::string SystemErrorText(Result code);

}  // namespace rm7
