// The fingerprint of a written uninstall log. The installer stores it in the
// product's record, which only administrators can change; a log whose bytes still
// give the stored fingerprint is the one the installer wrote.
#pragma once

#include <string>

namespace ar {

// The SHA-256 digest of `bytes` in 64 lowercase hexadecimal digits; empty when the
// system's hash provider fails.
std::wstring logDigest(const std::string& bytes);

// The digest of an open file's whole content, read from its start; empty on failure.
std::wstring digestOfOpenFile(void* file);

// The whole content of a file of at most `limit` bytes; false when it cannot be read.
// The file is opened without sharing writes, so that it cannot change while it is read.
bool readWholeFile(const std::wstring& path, std::string& bytes, unsigned long long limit = 16 * 1024 * 1024);

} // namespace ar
