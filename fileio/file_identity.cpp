// 32-bit builds: without this stat fails for inode numbers and sizes beyond
// 32 bits, and the check would pass silently. It has to come before any
// system header.
#if !defined(_WIN32) && !defined(_FILE_OFFSET_BITS)
#define _FILE_OFFSET_BITS 64
#endif

#include "fileio/file_identity.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace mg {

#ifdef _WIN32

namespace {

// The file's identity needs a handle; asking for no access right keeps this
// from failing on files that others hold open, and the backup flag lets a
// directory be opened as well.
bool Identify(const char* name, BY_HANDLE_FILE_INFORMATION& info) {
    const HANDLE file = CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const BOOL ok = GetFileInformationByHandle(file, &info);
    CloseHandle(file);
    return ok != 0;
}

}  // namespace

bool SameExistingFile(const char* first, const char* second) {
    if (first == nullptr || second == nullptr) return false;
    BY_HANDLE_FILE_INFORMATION a;
    BY_HANDLE_FILE_INFORMATION b;
    if (!Identify(first, a) || !Identify(second, b)) return false;
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

#else

bool SameExistingFile(const char* first, const char* second) {
    if (first == nullptr || second == nullptr) return false;
    struct stat a;
    struct stat b;
    if (stat(first, &a) != 0 || stat(second, &b) != 0) return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

#endif

}  // namespace mg
