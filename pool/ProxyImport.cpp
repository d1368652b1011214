#include "pool/ProxyImport.h"

#include <cerrno>
#include <string>

#include "pool/ProxyLineReader.h"
#include "pool/ProxyPool.h"

std::string InOutErrorMessage(int errorNumber) {
  switch (errorNumber) {
    case ENOENT:
      return "File not found";
    case ENOTDIR:
    case ENAMETOOLONG:
      return "Invalid filename";
    case EMFILE:
      return "Too many open files";
    case EACCES:
    case EPERM:
      return "File access denied";
    default:
      return "I/O error " + std::to_string(errorNumber);
  }
}

EInOutError::EInOutError(int errorNumber)
    : std::runtime_error(InOutErrorMessage(errorNumber)), ErrorCode(errorNumber) {}
