#include "util/ErrorLog.h"

namespace pictrim {

void AddErrorLogEntry(const std::string& Message, TErrorLog& ErrorLog) {
  ErrorLog.push_back(Message + "\r\n");
}

}  // namespace pictrim
