#pragma once

#include <cstdint>

#include "core/Wstr.h"

namespace Sys {

// The known folders the program can ask for, named as the program's
// settings name them.
enum class KnownFolder {
    AccountPictures,
    CameraRoll,
    CommonStartMenu,
    CommonStartup,
    Contacts,
    Desktop,
    Documents,
    Downloads,
    Favorites,
    Fonts,
    Links,
    LocalAppData,
    LocalAppDataLow,
    Music,
    Pictures,
    Playlists,
    Profile,
    ProgramFiles,
    ProgramFilesX64,
    ProgramFilesX86,
    ProgramFilesCommon,
    ProgramFilesCommonX64,
    ProgramFilesCommonX86,
    Programs,
    Public,
    PublicDesktop,
    PublicDocuments,
    PublicDownloads,
    PublicMusic,
    PublicPictures,
    PublicVideos,
    RoamingAppData,
    Screenshots,
    SendTo,
    SkyDrive,
    SkyDriveCameraRoll,
    SkyDriveDocuments,
    SkyDrivePictures,
    StartMenu,
    Startup,
    System,
    SystemX86,
    UserProfiles,
    UserProgramFiles,
    UserProgramFilesCommon,
    Videos,
    Windows,
};

// The folder's path, from the freedesktop base and user folders:
// Profile is the home folder; LocalAppData $XDG_STATE_HOME; RoamingAppData
// $XDG_CONFIG_HOME; Desktop, Documents, Downloads, Music, Pictures and
// Videos the user folders of user-dirs.dirs; StartMenu and Programs
// "applications" below $XDG_DATA_HOME, CommonStartMenu below the last
// (most general) folder of $XDG_DATA_DIRS; Startup "autostart" below
// $XDG_CONFIG_HOME, CommonStartup below the first folder of
// $XDG_CONFIG_DIRS. Every other folder has no meaning here: empty, with
// ERROR_NOT_SUPPORTED. With verify a folder that does not exist gives empty
// and ERROR_FILE_NOT_FOUND. The error is the last error and, as an HRESULT,
// stored in `hresult` when given (0 on success). Any thread.
wstr knownFolderPath(KnownFolder folder, bool verify, int32_t* hresult = nullptr);

} // namespace Sys
