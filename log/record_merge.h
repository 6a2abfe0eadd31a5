// The records of the new log: the earlier installation's, less what this run
// recorded again, then this run's.
#pragma once

#include "log/log_record.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace ar {

// Which file a path opens (volume and file index), or nothing when it opens none.
using FileId = std::array<std::uint32_t, 3>;
using FileIdentity = std::function<std::optional<FileId>(const std::wstring&)>;

// The file system's answer, by opening the path.
std::optional<FileId> fileOnDisk(const std::wstring& path);

// An earlier record is superseded when `records` (or a later earlier record already
// kept) holds one of the same kind for it: for folders and files, one naming the
// same elements (ignoring case), or failing that the same file as `identity` tells;
// for the other kinds, any record of the kind. The earlier records that stay come
// first, in their order. Two paths of which neither exists are the same when their
// absolute forms match; one that exists is never the same as one that does not.
LogRecords mergeRecords(LogRecords earlier, LogRecords records, const FileIdentity& identity);

} // namespace ar
