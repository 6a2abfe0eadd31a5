#include "engine/file_placement.h"

namespace ar {

std::wstring backup_to_temp(const std::optional<std::wstring>&, bool)
{
    return {};
}

bool grant_users_modify(const std::wstring&)
{
    return false;
}

std::vector<BYTE> buildUsersModifyAcl(const ACL*, PSID)
{
    return {};
}

} // namespace ar
