#pragma once

#include <string>

// The URL a redirect's Location names, taken relative to the URL that was
// redirected: an absolute URL (one with a scheme) stands as it is; "//host/p"
// takes the current scheme; "/p" the current scheme and authority; "?q" the
// current path; anything else the current path's folder, with "." and ".."
// segments removed. Blanks around the location are trimmed and a fragment is
// dropped, since neither is part of what a server is asked for.
std::string ResolveLocation(const std::string& currentURL, const std::string& location);
