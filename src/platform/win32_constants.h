// The Win32 and Windows Installer constants and status codes that the portable code names, defined
// once for the logic and the fake alike; windows.h is not available above the seam.
#pragma once

#include <cstdint>

namespace setup::platform {

// Status codes (winerror.h).
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorPathNotFound = 3;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorInvalidHandle = 6;
inline constexpr std::uint32_t kErrorNoMoreFiles = 18;
inline constexpr std::uint32_t kErrorBadLength = 24;
inline constexpr std::uint32_t kErrorFileExists = 80;
inline constexpr std::uint32_t kErrorSharingViolation = 32;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorInsufficientBuffer = 122;
inline constexpr std::uint32_t kErrorModNotFound = 126;
inline constexpr std::uint32_t kErrorProcNotFound = 127;
inline constexpr std::uint32_t kErrorAlreadyExists = 183;
inline constexpr std::uint32_t kErrorEnvvarNotFound = 203;
inline constexpr std::uint32_t kErrorNoData = 232;
inline constexpr std::uint32_t kErrorMoreData = 234;
inline constexpr std::uint32_t kErrorNoMoreItems = 259;
inline constexpr std::uint32_t kErrorOldWinVersion = 1150;
inline constexpr std::uint32_t kErrorPrivilegeNotHeld = 1314;
inline constexpr std::uint32_t kErrorInstallUserExit = 1602;
inline constexpr std::uint32_t kErrorUnknownProduct = 1605;
inline constexpr std::uint32_t kErrorProductVersion = 1638;
inline constexpr std::uint32_t kErrorInvalidCommandLine = 1639;
inline constexpr std::uint32_t kErrorSuccessRebootInitiated = 1641;
inline constexpr std::uint32_t kErrorSuccessRebootRequired = 3010;
inline constexpr std::uint32_t kErrorSuccessRestartRequired = 3011;

// Files, processes and modules.
inline constexpr std::uint32_t kMaxPath = 260;
inline constexpr std::uint32_t kFileAttributeDirectory = 0x10;
inline constexpr std::uint32_t kCreateNoWindow = 0x08000000;
inline constexpr std::uint32_t kInfinite = 0xFFFFFFFF;
inline constexpr std::uint32_t kWaitObject0 = 0;
inline constexpr std::uint32_t kWaitFailed = 0xFFFFFFFF;
inline constexpr std::uint32_t kAttachParentProcess = 0xFFFFFFFF;
inline constexpr std::uint32_t kGenericRead = 0x80000000;
inline constexpr std::uint32_t kGenericWrite = 0x40000000;
inline constexpr std::uint32_t kFileShareRead = 0x1;
inline constexpr std::uint32_t kFileShareWrite = 0x2;
inline constexpr std::uint32_t kCreateNew = 1;
inline constexpr std::uint32_t kCreateAlways = 2;
inline constexpr std::uint32_t kDelete = 0x00010000;
inline constexpr std::uint32_t kFileReadAttributes = 0x80;
inline constexpr std::uint32_t kFileAttributeNormal = 0x80;
inline constexpr std::uint32_t kFileFlagOpenReparsePoint = 0x00200000;
inline constexpr std::uint32_t kFileShareDelete = 0x4;
inline constexpr std::uint32_t kMovefileReplaceExisting = 0x1;
// SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION: a named pipe at the name learns who opened it but
// cannot act as that account.
inline constexpr std::uint32_t kSecurityIdentificationOnly = 0x00100000 | 0x00010000;
inline constexpr std::uint32_t kOpenExisting = 3;
inline constexpr std::uint32_t kLoadWithAlteredSearchPath = 0x00000008;
inline constexpr std::uint32_t kLoadLibrarySearchSystem32 = 0x00000800;

// Resources, languages, windows and dialogs.
inline constexpr std::uint16_t kRtString = 6;
inline constexpr std::uint16_t kLangRussian = 0x0419;  // Russian as used in Russia
inline constexpr std::uint32_t kWsDisabled = 0x08000000;
inline constexpr int kCwUseDefault = static_cast<int>(0x80000000u);
inline constexpr std::uint32_t kWmSetIcon = 0x0080;
inline constexpr std::uint32_t kWmInitDialog = 0x0110;
inline constexpr std::uint32_t kWmCommand = 0x0111;
inline constexpr std::uint32_t kQsSendMessage = 0x0040;
inline constexpr std::uint32_t kPmNoRemove = 0x0;
inline constexpr std::uint32_t kPmQsSendMessage = kQsSendMessage << 16;
inline constexpr std::uint32_t kWsfVisible = 0x1;
inline constexpr std::uintptr_t kIconBig = 1;
inline constexpr std::uint32_t kImageIcon = 1;
inline constexpr std::uint32_t kLrDefaultColor = 0;
inline constexpr std::uint32_t kBstChecked = 1;
// DWLP_USER: after the dialog's message result and its procedure, each pointer-sized.
inline constexpr int kDwlpUser = static_cast<int>(2 * sizeof(void*));
inline constexpr int kSwHide = 0;
inline constexpr int kSwShow = 5;
inline constexpr std::uint32_t kMbOk = 0x0;
inline constexpr std::uint32_t kMbYesNo = 0x4;
inline constexpr std::uint32_t kMbIconHand = 0x10;
inline constexpr std::uint32_t kMbIconExclamation = 0x30;
inline constexpr std::uint32_t kMbIconAsterisk = 0x40;
inline constexpr std::uint32_t kMbSetForeground = 0x10000;
inline constexpr std::uint32_t kMbTopmost = 0x40000;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// Version checks.
inline constexpr std::uint32_t kVerMinorVersion = 0x1;
inline constexpr std::uint32_t kVerMajorVersion = 0x2;
inline constexpr std::uint32_t kVerServicePackMajor = 0x20;
inline constexpr std::uint8_t kVerEqual = 1;
inline constexpr std::uint8_t kVerLess = 4;

// Registry, privileges and restart.
inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kKeyWrite = 0x20006;
inline constexpr std::uint32_t kKeyWow6432Key = 0x0200;
inline constexpr std::uint32_t kRegOptionNonVolatile = 0;
inline constexpr std::uint32_t kRegCreatedNewKey = 1;
inline constexpr std::uint32_t kRegOpenedExistingKey = 2;
inline constexpr std::uint32_t kTokenQuery = 0x8;
inline constexpr std::uint32_t kTokenAdjustPrivileges = 0x20;
inline constexpr std::uint32_t kSePrivilegeEnabled = 2;
inline constexpr std::uint32_t kEwxReboot = 0x2;
inline constexpr std::uint32_t kEwxForce = 0x4;
inline constexpr std::uint32_t kShutdownReasonMajorApplication = 0x40000;

// Security, modules and volumes.
inline constexpr std::uint32_t kTh32csSnapModule = 0x8;
inline constexpr std::uint32_t kFilePersistentAcls = 0x8;
inline constexpr std::uint32_t kKeyQueryValue = 0x1;
inline constexpr std::uint32_t kKeyWow6464Key = 0x0100;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint8_t kAccessDeniedAceType = 1;
inline constexpr std::uint8_t kAccessDeniedObjectAceType = 6;
inline constexpr std::uint8_t kAccessDeniedCallbackAceType = 10;
inline constexpr std::uint8_t kAccessDeniedCallbackObjectAceType = 12;
inline constexpr std::uint8_t kInheritOnlyAce = 0x08;
inline constexpr std::uint32_t kFileWriteData = 0x2;   // FILE_ADD_FILE for a folder
inline constexpr std::uint32_t kFileAppendData = 0x4;  // FILE_ADD_SUBDIRECTORY for a folder
inline constexpr std::uint32_t kFileDeleteChild = 0x40;
inline constexpr std::uint32_t kWriteDac = 0x40000;
inline constexpr std::uint32_t kWriteOwner = 0x80000;
inline constexpr std::uint32_t kGenericAll = 0x10000000;

// Windows Installer.
inline constexpr std::uint32_t kInstallUiLevelNone = 2;
inline constexpr int kInstallStateAbsent = 2;
inline constexpr int kInstallStateLocal = 3;
inline constexpr int kInstallStateDefault = 5;
inline constexpr std::uint32_t kMsiOpenPackageIgnoreMachineState = 1;
inline constexpr std::uint32_t kMsiInstallContextMachine = 4;
inline constexpr std::uint32_t kMsiCodeProduct = 0;

}  // namespace setup::platform
