#pragma once

// The programs may be started by cron, a service, ssh or `env -i`: with no
// locale at all, or without HOME. Both would break them quietly: the office
// cannot open a Chinese path in the "C" locale, and Qt takes a missing HOME
// for the root folder. Called first thing in main, before Qt or any office
// starts, so that the offices inherit the settled environment.
namespace environment {

// Without a UTF-8 locale, sets LC_ALL to C.UTF-8 (present on every Debian);
// without HOME, takes the user's home folder from the password database.
// Leaves a usable environment exactly as it is.
void settle();

} // namespace environment
