// kestrion-install [--remove] [--no-https] [--ad-site URL]: installs
// Kestrion for the user who runs it, from the folder this tool lies in
// (kestrion, ksie.so and ksns.so beside it; kestrion-browser-host too, for
// the browsers' extension), with https downloads allowed unless --no-https
// says otherwise, or with --remove takes that installation away again.
// Exit status: 0 done, 1 a step failed, 64 a wrong command line.

#include <cstdio>
#include <string>

#include "platform/net/tls_channel.h"
#include "platform/process/process.h"
#include "tools/installation.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 64;
// Where the banner list is fetched from unless --ad-site names another.
constexpr char kDefaultAdSite[] = "http://localhost/kestrion/adlist.txt";

std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

}  // namespace

int main(int argc, char** argv) {
  bool remove = false;
  bool https = true;
  std::string adSite = kDefaultAdSite;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--remove") {
      remove = true;
    } else if (word == "--no-https") {
      https = false;
    } else if (word == "--ad-site" && i + 1 < argc) {
      adSite = argv[++i];
    } else {
      std::fprintf(stderr, "usage: kestrion-install [--remove] [--no-https] [--ad-site URL]\n");
      return kExitUsage;
    }
  }
  const std::string programDir = FolderOf(GetModuleFileName());
  const Installation installation(programDir);
  if (remove) {
    const bool removed = installation.Remove();
    std::printf("Kestrion in %s is no longer installed for this user.\n", programDir.c_str());
    return removed ? kExitDone : kExitFailed;
  }
  if (!installation.Install(adSite, https)) return kExitFailed;
  std::printf("Kestrion in %s is installed for this user.\n", programDir.c_str());
  if (https && !TlsAvailable()) std::printf("This copy was built without TLS: https downloads stay refused.\n");
  return kExitDone;
}
