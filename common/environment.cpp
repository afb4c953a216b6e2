#include "common/environment.h"

#ifndef _WIN32
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <langinfo.h>
#include <pwd.h>
#include <unistd.h>

#include <vector>
#endif

namespace environment {

#ifndef _WIN32
namespace {

bool localeIsUtf8()
{
    // What the environment asks for, as Qt and the office will see it.
    if (!std::setlocale(LC_ALL, ""))
        return false;
    const char* codeset = nl_langinfo(CODESET);
    const bool utf8 =
        codeset && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
    std::setlocale(LC_ALL, "C");
    return utf8;
}

void settleHome()
{
    const char* home = std::getenv("HOME");
    if (home && *home)
        return;
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && *found->pw_dir)
        setenv("HOME", found->pw_dir, 1);
}

} // namespace

void settle()
{
    if (!localeIsUtf8())
        setenv("LC_ALL", "C.UTF-8", 1);
    settleHome();
}
#else
void settle() {}
#endif

} // namespace environment
