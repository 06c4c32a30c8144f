#include "Unprivileged.h"

#include <unistd.h>

bool RunningAsRoot() {
    return geteuid() == 0;
}

std::vector<std::string> UnprivilegedPrefix(bool& ok) {
    ok = true;
    if (!RunningAsRoot())
        return {};
    for (const char* setpriv : {"/usr/bin/setpriv", "/bin/setpriv"})
        if (access(setpriv, X_OK) == 0)
            return {setpriv, "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
    ok = false;
    return {};
}
