#pragma once

// Whether https URLs are taken as http ones are: AllowHTTPS (32-bit, under
// HKEY_LOCAL_MACHINE\SOFTWARE\Morvane\Kestrion) is set and not 0, and this
// build can make secure connections. Read at each call. Absent, 0 or of
// another type: https is refused. Shared by kestrion and both libraries.
bool IsHttpsAllowed();
