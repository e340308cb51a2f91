// The Windows headers define these names as macros (their A/W forms), which would rename
// the platform interface's own calls. Included again after every Windows header, so no
// include guard.
#undef DeleteFile
#undef RemoveDirectory
#undef GetDriveType
#undef GetDiskFreeSpace
#undef GetWindowsDirectory
#undef GetTempPath
#undef GetFullPathName
#undef GetPrivateProfileString
#undef ReplaceFile
#undef GetEnvironmentVariable
#undef RegQueryValue
