// The error log: one entry per problem with a single file, each ending with
// carriage return and line feed, in the order recorded. Batches append; the
// progress window shows and empties it.
#pragma once

#include <string>
#include <vector>

namespace pictrim {

using TErrorLog = std::vector<std::string>;

// Appends Message + "\r\n" as a new last entry.
void AddErrorLogEntry(const std::string& Message, TErrorLog& ErrorLog);

}  // namespace pictrim
