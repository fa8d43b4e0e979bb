// An in-memory Windows for the unit tests: files, environment, registry, packages, installed
// products, message boxes and child processes, with every call the logic makes recorded.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "folder_listing.h"
#include "platform/platform.h"
#include "platform/win32_constants.h"

namespace setup::testing {

using namespace setup::platform;

// Thrown by a wait that would never end, so that a test sees the hang instead of hanging.
struct WaitNeverEnds {};

// The Windows releases the program runs on; each selects the documented rules of its own (see
// FakePlatform::UseRelease). A fresh fake is Windows 10.
enum class Release { k2000, kXp, kXpSp1, kXpSp2, kXpSp3, k2003, kVista, k7, k7Kb2533623, k8, k81, k10, k11 };
extern const Release kEveryRelease[13];
void PrintTo(Release release, std::ostream* out);

struct CaseInsensitiveLess {
  bool operator()(const std::wstring& a, const std::wstring& b) const;
};

struct ShownBox {
  WindowHandle owner;
  std::wstring text;
  std::wstring caption;
  std::uint32_t style;
};

struct FakePackage {
  Status openStatus = 0;
  std::map<std::wstring, std::wstring> properties;
  // Per property name: the status the size query (size 0) gives instead of its usual answer, 0
  // included, and the status with which a read into a buffer fails.
  std::map<std::wstring, Status> sizeQueryStatus;
  std::map<std::wstring, Status> readStatus;
};

struct FakeProduct {
  std::wstring upgradeCode;
  std::wstring version;
  int state = 5;                 // INSTALLSTATE_DEFAULT
  int pluginFeatureState = 3;    // INSTALLSTATE_LOCAL
  Status versionSizeStatus = 0;  // status of the size query of "VersionString"
  Status versionStatus = 0;      // status of the read itself
};

struct StartedProcess {
  std::wstring commandLine;
  std::uint32_t creationFlags;
  bool inheritHandles;
  bool applicationNameGiven;
  bool consoleAttached;           // while the child runs, control events of that console would reach the program
  std::wstring currentDirectory;  // empty: the program's, inherited
};

struct FileCreation {
  std::wstring path;
  std::uint32_t access, shareMode, disposition, flags;
};

class FakePlatform : public EveryInterface {
 public:
  FakePlatform();
  ~FakePlatform() override;

  // --- what a test arranges ---------------------------------------------------------------------
  std::wstring commandLine = L"Setup.exe";
  bool administrator = true;
  std::uint16_t uiLanguage = 0x0409;
  std::wstring modulePath = L"C:\\dist\\Setup.exe";
  std::map<std::wstring, std::wstring, CaseInsensitiveLess> environment{{L"TMP", L"C:\\Temp"}};
  std::wstring systemDirectory = L"C:\\Windows\\system32";
  std::uint32_t systemDirectoryError = 0;  // when non-zero GetSystemDirectoryW fails with it
  std::tm now{};
  // The system time (FILETIME) and the milliseconds since Windows started.
  std::uint64_t systemTime = 134'411'943'070'000'000;  // 2026-12-08 09:05:07 UTC
  std::uint64_t ticksSinceStart = 3'600'000;
  // The running Windows as VerifyVersionInfoW sees it.
  std::uint32_t osMajor = 10, osMinor = 0, osBuild = 19045;
  std::uint16_t osServicePackMajor = 0;
  bool wow64Available = true;
  bool isWow64 = false;
  bool wow64CallFails = false;
  // The string table; by default every catalogue id but 132, each reading "[id]".
  std::map<std::uint16_t, std::wstring> strings;
  // Answers to the next boxes, in order; when none is left a box is answered IDOK for OK boxes and
  // IDYES for questions.
  std::deque<int> answers;
  // Exit codes of the next child processes; 0 when none is left.
  std::deque<std::uint32_t> exitCodes;
  // When non-zero, CreateProcessW fails with this error.
  std::uint32_t processStartError = 0;
  std::map<std::wstring, FakePackage, CaseInsensitiveLess> packages;
  std::map<std::wstring, FakeProduct> products;              // keyed by the exact product code
  std::set<std::wstring, CaseInsensitiveLess> registryKeys;  // paths below HKEY_CURRENT_USER
  // Each key's last write time (FILETIME); a key without one was written at systemTime.
  std::map<std::wstring, std::uint64_t, CaseInsensitiveLess> registryWriteTimes;
  Status registryCreateError = 0;
  // Modules that GetModuleHandleW finds loaded, and exported names per module.
  std::set<std::wstring, CaseInsensitiveLess> loadedModules{L"kernel32", L"kernel32.dll", L"advapi32.dll"};
  std::set<std::wstring, CaseInsensitiveLess> loadableModules{L"advapi32.dll"};
  // What differs between releases, as UseRelease sets it: version, loader, exports, registry.
  void UseRelease(Release release);
  enum class SearchFlags { kHonoured, kRefused, kIgnored };  // 8 or 7 with KB2533623; Vista, 7; XP
  SearchFlags searchFlags = SearchFlags::kHonoured;
  bool addDllDirectoryExported = true;  // kernel32's sign of the search flags
  bool isUserAnAdminByName = true;      // Windows 2000's shell32 exports it by ordinal 680 only
  bool registryViewFlags = true;        // KEY_WOW64_32KEY and KEY_WOW64_64KEY known to the registry
  bool attachConsoleExported = true;
  bool initiateSystemShutdownExExported = true;
  bool getTickCount64Exported = true;
  std::set<std::wstring, CaseInsensitiveLess> systemLibraries{L"user32.dll", L"shell32.dll", L"msi.dll"};
  bool tokenOpens = true;
  std::uint32_t adjustPrivilegesError = 0;
  bool shutdownAccepted = true;
  // Whether the process runs in the interactive user's logon session (its window station visible),
  // or, say, as a service or an agent running as SYSTEM.
  bool interactiveUser = true;
  // Every child writes into the log its command line names, as installers do.
  bool childrenWriteLogs = true;
  // Every child sends a message to all top-level windows (SendMessage, HWND_BROADCAST) before it ends.
  bool childrenBroadcast = false;
  // Called when the dialog is shown with the dialog procedure; the default presses nothing.
  std::function<std::intptr_t(DialogProc)> runDialog;

  void AddFile(const std::wstring& path);
  // Removes the installers' logs in TMP, as if the next run came a second or more later: a run never
  // takes a log name that a file already has.
  void ForgetInstallerLogs();
  void AddDirectory(const std::wstring& path);
  // Files made from here on: the current directory of relative paths; folders that are junctions
  // (folder -> where it leads); the number of names the file made at a path turns out to have (another
  // user's hard link to it); how many times a file removed comes back at once (another user plants it
  // again); the bytes a write takes at most, reporting success all the same; whether the calls of
  // Vista and later are exported (UseRelease sets it).
  std::wstring workingDirectory = L"C:\\Windows\\system32";
  std::map<std::wstring, std::wstring, CaseInsensitiveLess> junctions;
  std::map<std::wstring, std::uint32_t, CaseInsensitiveLess> linkCounts;
  int replantings = 0;
  std::optional<std::uint32_t> writeLimit;
  bool fileHandleCallsExported = true;
  std::vector<FileCreation> fileCreations;
  std::vector<std::wstring> deletedByHandle;

  // --- what a test reads back -------------------------------------------------------------------
  std::vector<ShownBox> boxes;
  std::vector<StartedProcess> processes;
  std::vector<std::uint32_t> waitTimeouts;                           // of every wait for a child, in order
  std::uint32_t waitResult = 0;                                      // WAIT_OBJECT_0, or what the wait gives instead
  std::uint32_t waitError = 0;                                       // the last error a failed wait leaves
  std::vector<std::pair<std::wstring, std::uint32_t>> libraryLoads;  // LoadLibraryExW (path, flags)
  std::vector<std::wstring> deletedFiles;
  std::map<std::wstring, std::string, CaseInsensitiveLess> writtenFiles;  // the bytes written to each file
  // How the volume lists its folders: by name with no 8.3 names, as NTFS does by default; FAT lists in the
  // order the files were added, with 8.3 names.
  distcheck::ListingRules listing;
  std::wstring TextOf(const std::wstring& path) const;  // those bytes as UTF-16LE
  std::vector<std::wstring> stdoutLines;                // what reached standard output, cut at its line ends
  // Without standard output of its own, the console of the parent, when it has one.
  bool standardOutput = true;
  bool parentConsole = false;
  bool consoleAttached = false;
  std::wstring consoleText;
  std::vector<std::wstring> openedPackages;
  std::vector<std::uint32_t> openedPackageOptions;                     // MsiOpenPackageExW options, one per opening
  std::vector<std::pair<std::wstring, std::wstring>> sourceListCalls;  // (call, product)
  std::vector<std::wstring> sourceListPackageNames;
  std::vector<std::uint32_t> internalUiLevels;
  std::vector<std::pair<std::wstring, std::uint32_t>> registryAccess;  // (subkey, access mask)
  // The restarts that really began: (EWX_* flags, reason), whichever call asked for them.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> restarts;
  std::vector<std::wstring> adjustedPrivileges;
  std::vector<std::uint16_t> dialogsShown;
  std::vector<std::wstring> envQueries;
  int openHandles() const;  // find, process, thread, token, registry, package and library handles
  WindowHandle ownerWindowCreated = nullptr;
  std::uint32_t ownerWindowStyle = 0;
  std::wstring ownerWindowClass;

  // --- the platform -----------------------------------------------------------------------------
  std::wstring GetCommandLineW() override;
  std::optional<std::vector<std::wstring>> CommandLineToArgvW(const std::wstring& commandLine) override;
  std::uint32_t GetLastError() override;
  void SetLastError(std::uint32_t error) override;
  KernelHandle GetCurrentProcess() override;
  std::uint16_t GetSystemDefaultUILanguage() override;
  ModuleHandle GetModuleHandleW(const wchar_t* moduleName) override;
  ModuleHandle LoadLibraryW(const wchar_t* fileName) override;
  ModuleHandle LoadLibraryExW(const wchar_t* fileName, std::uint32_t flags) override;
  bool FreeLibrary(ModuleHandle module) override;
  ProcAddress GetProcAddress(ModuleHandle module, const char* procName) override;
  bool CallIsUserAnAdmin(ProcAddress isUserAnAdmin) override;
  bool CallIsWow64Process(ProcAddress isWow64Process, KernelHandle process, bool* isWow64) override;
  Status CallRegDeleteKeyExW(ProcAddress regDeleteKeyEx, RegistryKey key, const wchar_t* subKey,
                             std::uint32_t samDesired, std::uint32_t reserved) override;
  Status CallRegDeleteKeyW(ProcAddress regDeleteKey, RegistryKey key, const wchar_t* subKey) override;
  std::uint32_t GetModuleFileNameW(ModuleHandle module, wchar_t* buffer, std::uint32_t size) override;
  ResourceHandle FindResourceW(ModuleHandle module, std::uint16_t name, std::uint16_t type) override;
  GlobalHandle LoadResource(ModuleHandle module, ResourceHandle resource) override;
  const void* LockResource(GlobalHandle data) override;
  std::uint32_t SizeofResource(ModuleHandle module, ResourceHandle resource) override;
  WindowHandle CreateWindowExW(std::uint32_t exStyle, const wchar_t* className, const wchar_t* windowName,
                               std::uint32_t style, int x, int y, int width, int height, WindowHandle parent,
                               InstanceHandle instance) override;
  int MessageBoxW(WindowHandle owner, const wchar_t* text, const wchar_t* caption, std::uint32_t style) override;
  std::intptr_t DialogBoxParamW(InstanceHandle instance, std::uint16_t templateId, WindowHandle parent,
                                DialogProc dialogProc, std::intptr_t initParam) override;
  bool EndDialog(WindowHandle dialog, std::intptr_t result) override;
  IconHandle LoadImageW(InstanceHandle instance, std::uint16_t resourceId, std::uint32_t type, int cx, int cy,
                        std::uint32_t load) override;
  std::intptr_t SendMessageW(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                             std::intptr_t lParam) override;
  WindowHandle GetDlgItem(WindowHandle dialog, int controlId) override;
  bool ShowWindow(WindowHandle window, int command) override;
  bool CheckDlgButton(WindowHandle dialog, int buttonId, std::uint32_t check) override;
  std::uint32_t IsDlgButtonChecked(WindowHandle dialog, int buttonId) override;
  std::uint32_t GetDlgItemTextW(WindowHandle dialog, int controlId, wchar_t* buffer, int maxCount) override;
  bool SetDlgItemTextW(WindowHandle dialog, int controlId, const wchar_t* text) override;
  std::intptr_t SetWindowLongPointer(WindowHandle window, int index, std::intptr_t value) override;
  std::intptr_t GetWindowLongPointer(WindowHandle window, int index) override;
  FindHandle FindFirstFileW(const std::wstring& fileName, FindData& data) override;
  bool FindNextFileW(FindHandle find, FindData& data) override;
  bool FindClose(FindHandle find) override;
  bool DeleteFileW(const std::wstring& fileName) override;
  int WStat(const std::wstring& path) override;
  std::uint32_t GetEnvironmentVariableW(const wchar_t* name, wchar_t* buffer, std::uint32_t size) override;
  std::optional<std::wstring> WGetEnv(const wchar_t* name) override;
  std::uint32_t GetSystemDirectoryW(wchar_t* buffer, std::uint32_t size) override;
  bool WriteFile(KernelHandle file, const void* data, std::uint32_t size, std::uint32_t* written) override;
  std::wstring GetFullPathNameW(const std::wstring& fileName) override;
  bool MoveFileExW(const std::wstring& existingFileName, const std::wstring& newFileName, std::uint32_t flags) override;
  std::wstring GetLongPathNameW(const std::wstring& path) override;
  Status GetFinalPathNameByHandleW(KernelHandle file, std::wstring& path) override;
  bool GetFileInformationByHandle(KernelHandle file, std::uint32_t* numberOfLinks) override;
  bool SetFileInformationByHandle(KernelHandle file, bool deleteFile) override;
  std::tm LocalTime() override;
  std::uint64_t GetSystemTimeAsFileTime() override;
  std::optional<std::uint64_t> GetTickCount64() override;
  void WriteStandardOutput(const std::wstring& text) override;
  bool HasStandardOutput() override;
  bool AttachConsole(std::uint32_t processId) override;
  KernelHandle CreateFileW(const wchar_t* fileName, std::uint32_t access, std::uint32_t shareMode,
                           std::uint32_t creationDisposition, std::uint32_t flagsAndAttributes) override;
  bool WriteConsoleW(KernelHandle console, const std::wstring& text) override;
  bool FreeConsole() override;
  bool CreateProcessW(const wchar_t* applicationName, wchar_t* commandLine, bool inheritHandles,
                      std::uint32_t creationFlags, const wchar_t* currentDirectory,
                      ProcessInformation& processInformation) override;
  std::uint32_t MsgWaitForMultipleObjects(KernelHandle handle, std::uint32_t milliseconds,
                                          std::uint32_t wakeMask) override;
  bool PeekMessageW(WindowHandle window, std::uint32_t filterMin, std::uint32_t filterMax,
                    std::uint32_t removeFlags) override;
  bool GetExitCodeProcess(KernelHandle process, std::uint32_t* exitCode) override;
  bool CloseHandle(KernelHandle handle) override;
  std::uint64_t VerSetConditionMask(std::uint64_t conditionMask, std::uint32_t typeMask,
                                    std::uint8_t condition) override;
  bool VerifyVersionInfoW(const OsVersionInfoEx& versionInfo, std::uint32_t typeMask,
                          std::uint64_t conditionMask) override;
  bool GetVersionExW(OsVersion& version) override;
  Status RegCreateKeyExW(RegistryKey key, const wchar_t* subKey, std::uint32_t options, std::uint32_t samDesired,
                         RegistryKey* result, std::uint32_t* disposition) override;
  Status RegOpenKeyExW(RegistryKey key, const wchar_t* subKey, std::uint32_t options, std::uint32_t samDesired,
                       RegistryKey* result) override;
  Status RegCloseKey(RegistryKey key) override;
  Status RegQueryInfoKeyW(RegistryKey key, std::uint64_t* lastWriteTime) override;
  bool OpenProcessToken(KernelHandle process, std::uint32_t desiredAccess, KernelHandle* token) override;
  bool LookupPrivilegeValueW(const wchar_t* systemName, const wchar_t* name, std::uint64_t* luid) override;
  bool AdjustTokenPrivileges(KernelHandle token, bool disableAll, std::uint64_t luid,
                             std::uint32_t attributes) override;
  bool ExitWindowsEx(std::uint32_t flags, std::uint32_t reason) override;
  bool CallInitiateSystemShutdownExW(ProcAddress initiateSystemShutdownEx, const wchar_t* machineName,
                                     const wchar_t* message, std::uint32_t timeout, bool forceAppsClosed,
                                     bool rebootAfterShutdown, std::uint32_t reason) override;
  bool InitiateSystemShutdownW(const wchar_t* machineName, const wchar_t* message, std::uint32_t timeout,
                               bool forceAppsClosed, bool rebootAfterShutdown) override;
  StationHandle GetProcessWindowStation() override;
  bool GetUserObjectInformationW(StationHandle object, UserObjectFlags& flags) override;
  std::uint32_t MsiSetInternalUI(std::uint32_t uiLevel, WindowHandle* window) override;
  Status MsiOpenPackageExW(const wchar_t* packagePath, std::uint32_t options, MsiHandle* handle) override;
  Status MsiGetPropertyW(MsiHandle handle, const wchar_t* name, wchar_t* buffer, std::uint32_t* size) override;
  Status MsiCloseHandle(MsiHandle handle) override;
  Status MsiEnumRelatedProductsW(const wchar_t* upgradeCode, std::uint32_t reserved, std::uint32_t index,
                                 wchar_t* productBuffer) override;
  Status MsiGetProductInfoW(const wchar_t* product, const wchar_t* property, wchar_t* buffer,
                            std::uint32_t* size) override;
  int MsiQueryProductStateW(const wchar_t* product) override;
  int MsiQueryFeatureStateW(const wchar_t* product, const wchar_t* feature) override;
  Status MsiSourceListClearAllW(const wchar_t* product, const wchar_t* userName, std::uint32_t reserved) override;
  Status MsiSourceListSetInfoW(const wchar_t* product, const wchar_t* userSid, std::uint32_t context,
                               std::uint32_t options, const wchar_t* property, const wchar_t* value) override;

  // --- security and the program's folder ------------------------------------------------------
  // The modules of the process as a module snapshot lists them, the program first.
  std::vector<std::wstring> processModules{modulePath, L"C:\\Windows\\system32\\ntdll.dll",
                                           L"C:\\Windows\\system32\\kernel32.dll"};
  // How many module snapshots fail with ERROR_BAD_LENGTH before one is made ("CreateToolhelp32Snapshot
  // function": the list changed while it was read).
  int snapshotBadLengths = 0;
  // The security of each file and folder; one without an entry has the ACL of a folder only
  // administrators can write (WellMadeSecurity).
  std::map<std::wstring, FileSecurity, CaseInsensitiveLess> fileSecurity;
  static FileSecurity WellMadeSecurity();
  std::uint32_t fileSystemFlags = kFilePersistentAcls;  // as NTFS; FAT and exFAT have none
  // DWORD values below HKEY_LOCAL_MACHINE, by "key\\value", the same in both registry views.
  std::map<std::wstring, std::uint32_t, CaseInsensitiveLess> localMachineDwords;
  std::vector<std::wstring> securityReads;  // the paths GetNamedSecurityInfoW was asked about

  KernelHandle CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t processId) override;
  bool Module32FirstW(KernelHandle snapshot, ModuleEntry& entry) override;
  bool Module32NextW(KernelHandle snapshot, ModuleEntry& entry) override;
  Status GetNamedSecurityInfoW(const std::wstring& path, FileSecurity& security) override;
  bool GetVolumePathNameW(const std::wstring& path, std::wstring& volumeRoot) override;
  bool GetVolumeInformationW(const std::wstring& root, std::uint32_t* fileSystemFlags) override;
  Status RegQueryValueExW(RegistryKey key, const wchar_t* valueName, std::uint32_t* type, void* data,
                          std::uint32_t* size) override;

  // Dialog controls as the fake dialog holds them (id -> state).
  struct Control {
    std::wstring text;
    bool visible = true;
    std::uint32_t checked = 0;
  };
  std::map<int, Control> controls;
  bool dialogEnded = false;
  std::intptr_t dialogResult = 0;
  std::vector<std::pair<std::uint32_t, std::intptr_t>> sentMessages;  // (message, lParam)
  std::map<std::pair<WindowHandle, int>, std::intptr_t> windowLongs;

 private:
  struct Search;
  std::uint32_t lastError_ = 0;
  std::vector<std::wstring> files_;  // full paths; directories end with a backslash
  std::map<void*, std::unique_ptr<Search>> searches_;
  std::vector<std::uint16_t> block_;  // the string-table block last loaded
  std::map<MsiHandle, std::wstring> packageHandles_;
  MsiHandle nextPackageHandle_ = 100;
  std::set<void*> kernelHandles_;
  std::set<void*> consoleHandles_;        // open CONOUT$ handles with write access
  std::set<void*> unansweredBroadcasts_;  // running children that wait for the thread's windows
  bool shutdownPrivilegeEnabled_ = false;
  bool Shutdown(std::uint32_t flags, std::uint32_t reason);
  std::map<void*, std::wstring> registryHandles_;
  std::map<void*, std::wstring> fileHandles_;
  std::map<void*, FileCreation> fileOpens_;  // how each file handle was opened
  bool HeldWithoutDeleteSharing(const std::wstring& path) const;
  std::set<void*> libraries_;
  std::map<void*, std::wstring> systemLibraryNames_;
  std::uintptr_t nextHandle_ = 0x1000;
  void* NewHandle();
  KernelHandle CreateFile(const std::wstring& fileName);
  std::map<void*, std::size_t> moduleSnapshots_;  // each snapshot's next module
  Status OpenLocalMachineKey(const wchar_t* subKey, std::uint32_t samDesired, RegistryKey* result);
};

}  // namespace setup::testing
