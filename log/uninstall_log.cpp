#include "log/uninstall_log.h"

namespace ar {

void UninstallLog::recordFile(const std::wstring&, std::int32_t, bool)
{
}
void UninstallLog::recordShortcut(int, const std::wstring&)
{
}
void UninstallLog::recordUninstallKey(HKEY)
{
}
void UninstallLog::recordSelfRegistration()
{
}
void UninstallLog::recordDirectXSetup()
{
}
void UninstallLog::commit(bool, const std::optional<std::wstring>&)
{
}
bool UninstallLog::isKeptFile(const std::wstring&) const
{
    return false;
}
bool UninstallLog::samePath(const std::wstring&, const std::wstring&)
{
    return false;
}
void UninstallLog::rollback()
{
}
bool UninstallLog::writeLog(const std::wstring&, const std::wstring&, const std::wstring&)
{
    return false;
}
void UninstallLog::readLog(const std::optional<std::wstring>&)
{
}
void UninstallLog::ensure_folders(const std::wstring&)
{
}

} // namespace ar
