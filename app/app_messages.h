#pragma once

// Texts the application shell shows.
namespace app_messages {
inline constexpr char kStandAlone[] = "Application cannot run as Stand-Alone";
inline constexpr char kTwoParameters[] = "Could not Find 2 Parameters in the command line, aborted.";
inline constexpr char kEmptyParameter[] = "One the parameters in the command is Empty, Aborted";
inline constexpr char kNoScheme[] = "Could not find 'scheme' in the source URL, aborted";
inline constexpr char kUnsupportedScheme[] = "Could not support this 'scheme'";
inline constexpr char kUnreadableURL[] = "Could not understand the URL [%s], aborted";
inline constexpr char kUnknownCommand[] = "Command is unknown";
// After a download that stopped with its bytes kept.
inline constexpr char kRunAgainToGoOn[] =
    "kestrion: what was downloaded is kept; run the same command again to continue the download";

// What --version prints, before the build.
inline constexpr char kProgramName[] = "Kestrion";

// What --help prints.
inline constexpr char kUsage[] =
    "Usage: kestrion URL DESTINATION\n"
    "       kestrion COMMAND START|STOP\n"
    "       kestrion --help | --version\n"
    "\n"
    "Downloads URL into the file DESTINATION on up to four connections, or\n"
    "registers (START) or removes (STOP) the browser hook.\n"
    "  URL          http://[user:password@]host[:port]/path or the same with ftp://;\n"
    "               https:// too where AllowHTTPS is 1 (kestrion-install sets it)\n"
    "  DESTINATION  the file to write; blanks need no quotes\n"
    "Both are percent-unescaped first: %20 is a blank, %% a percent sign.\n"
    "\n"
    "Environment:\n"
    "  KESTRION_UI        qt (a window; the default under a display), console\n"
    "                     (the default otherwise) or script\n"
    "  KESTRION_REGISTRY  the folder of the registry files\n"
    "                     (default ~/.config/kestrion/registry)\n"
    "\n"
    "Exit status:\n"
    "  0    the download completed, or a registration command ran\n"
    "  1    the download failed or was aborted\n"
    "  2    the command line or the URL was refused\n"
    "  130  cancelled: Ctrl-C, Cancel or Escape\n"
    "  129, 143  ended by SIGHUP, SIGTERM\n"
    "\n"
    "  -h, --help     print this help\n"
    "  -V, --version  print the version\n";
}  // namespace app_messages
