#include "PortDiagnosis.h"

#include "StrUtil.h"
#include "TextTables.h"

#include <cerrno>
#include <system_error>
#include <vector>

#if defined(__unix__) || defined(__APPLE__)
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

std::string PortDevicePath(const std::string& name) {
#if defined(__unix__) || defined(__APPLE__)
    if (name.find('/') != std::string::npos)
        return name;
    return "/dev/" + name;
#else
    return name;
#endif
}

namespace {

#if defined(__linux__)
std::string GroupName(gid_t gid) {
    std::vector<char> buffer(4096);
    group entry{};
    group* found = nullptr;
    if (getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return std::string();
    return found->gr_name;
}
#endif

} // namespace

std::string PortOpenCause(const std::string& name, const std::string& portErrorText) {
    std::string reason = portErrorText;
    std::string hint;
#if defined(__unix__) || defined(__APPLE__)
    // Asked of the device file, not by opening it: opening a real adapter toggles its lines.
    const std::string path = PortDevicePath(name);
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        reason = std::system_category().message(errno);
    } else if (access(path.c_str(), R_OK | W_OK) != 0) {
        const int error = errno;
        reason = std::system_category().message(error);
#if defined(__linux__)
        // Serial devices are usually opened through their group (dialout, uucp, tty): joining it
        // is the usual fix, and takes effect at the next login.
        const bool groupMayOpen = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
        if (error == EACCES && groupMayOpen && st.st_gid != 0) {
            const std::string group = GroupName(st.st_gid);
            if (!group.empty())
                hint = tv::FormatRuntime(Txt(strPortJoinGroup), path.c_str(), group.c_str(), group.c_str());
        }
#endif
    }
#endif
    if (reason.empty())
        return std::string();
    std::string line = tv::FormatRuntime(Txt(strPortOpenReason), reason.c_str());
    if (!hint.empty())
        line += " " + hint;
    return line;
}
