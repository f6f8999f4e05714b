// The error information record in words, shared by every command that drives the library.
#ifndef SCRIVLET_TOOLS_DESCRIBE_H
#define SCRIVLET_TOOLS_DESCRIBE_H

#include <string>

#include "scrivlet/scrivlet.h"

namespace scrivlet_tool {

// One or more lines: which operation failed, what failed, the error (a platform code with its
// meaning, or the library's reason) and the value, then the raw fields of the record.
std::string DescribeFailure(const TQCLogFile_1::tagInfoData_1& info);

// The meaning of a platform (Windows) error code, or "unknown error".
const char* SystemErrorMeaning(unsigned int code);

}  // namespace scrivlet_tool

#endif  // SCRIVLET_TOOLS_DESCRIBE_H
