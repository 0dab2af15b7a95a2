#pragma once

// Texts the banner updater shows.
namespace ad_messages {
inline constexpr char kThreadNotCreated[] = "CADUpdateMgr thread cannot be created, Update Aborted";
inline constexpr char kMainKeyNotOpened[] = "Could not open main registry key";
inline constexpr char kExeLocationNotRead[] = "Could not read EXELOCATION from registry";
inline constexpr char kExeLocationEmpty[] = "EXELOCATION is empty, cannot continue";
inline constexpr char kExeLocationInvalid[] = "EXELOCATION is invalid, cannot continue";
inline constexpr char kAdSiteNotRead[] = "Could not read AD Site from registry";
inline constexpr char kAdSiteEmpty[] = "AD Site is empty, cannot continue";
inline constexpr char kLastUpdateTimeNotRead[] = "Could not read LastUpdateTime from registry";
inline constexpr char kMissingInstallConfig[] = "Missing INSTALL.CFG";
inline constexpr char kADFilesKeyNotOpened[] = "Could not open ADFiled registry key";
}  // namespace ad_messages
