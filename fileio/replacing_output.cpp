// 32-bit builds: stat must see sizes and inode numbers beyond 32 bits, and
// the writes must go past 2 GiB. It has to come before any system header.
#if !defined(_WIN32) && !defined(_FILE_OFFSET_BITS)
#define _FILE_OFFSET_BITS 64
#endif

#include "fileio/replacing_output.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace mg {

namespace {

constexpr std::size_t kBufferSize = 64 * 1024;
// A longer output name is left out of the temporary name, so that the
// temporary name stays within what every file system takes.
constexpr std::size_t kLongestNameKept = 100;
#ifdef _WIN32
constexpr std::size_t kLongestPath = MAX_PATH;
#else
constexpr std::size_t kLongestPath = 4096;
#endif
constexpr int kCreateAttempts = 16;
constexpr std::intptr_t kNoFile = -1;

std::atomic<std::int64_t>& WriteAllowance() {
    static std::atomic<std::int64_t> bytes{-1};
    return bytes;
}

// Folder part (with its separator) and file part of a name.
std::size_t NameStart(const std::string& name) {
#ifdef _WIN32
    const std::size_t cut = name.find_last_of("/\\:");
#else
    const std::size_t cut = name.rfind('/');
#endif
    return cut == std::string::npos ? 0 : cut + 1;
}

// Not secret, only unlikely to repeat: exclusive creation is what rules out a
// collision, this only keeps retries rare.
std::uint64_t Unpredictable(const void* seed) {
    static std::atomic<std::uint64_t> counter{0};
    std::uint64_t x = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                      (static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(seed)) << 16) ^
                      (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
    // splitmix64's finaliser
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Whether the output's own name can exist at all; the temporary name may be
// created where the output's could not (it leaves a long name out), and the
// call would then fail only at the rename.
bool NameCanExist(const std::string& target) {
    const std::size_t start = NameStart(target);
    if (start == target.size()) return false;
#ifdef _WIN32
    return target.size() < MAX_PATH;
#else
    const std::string folder = start == 0 ? "." : target.substr(0, start);
    const long longest = pathconf(folder.c_str(), _PC_NAME_MAX);
    return target.size() - start <= static_cast<std::size_t>(longest > 0 ? longest : 255);
#endif
}

std::string TemporaryNameFor(const std::string& target, unsigned long pid, std::uint64_t random) {
    const std::size_t start = NameStart(target);
    const std::string base = target.substr(start);
    char tail[64];
    std::snprintf(tail, sizeof tail, "marrowgate-%lu-%016llx.tmp", pid, static_cast<unsigned long long>(random));
    std::string name = target.substr(0, start) + ".";
    if (base.size() <= kLongestNameKept && name.size() + base.size() + 40 < kLongestPath) name += base + ".";
    return name + tail;
}

}  // namespace

void CReplacingOutput::LimitWritesForTesting(std::int64_t bytes) { WriteAllowance().store(bytes); }

CReplacingOutput::CReplacingOutput() : m_pBuffer(new unsigned char[kBufferSize]) {}

CReplacingOutput::~CReplacingOutput() { Abort(); }

bool CReplacingOutput::Write(const unsigned char* data, std::size_t length) {
    if (m_hFile == kNoFile) m_bFailed = true;
    if (m_bFailed) return false;
    // A large write goes to the file as it is: copying it through the buffer
    // would only cost a pass over the data.
    if (length >= kBufferSize) {
        if (!Flush()) return false;
        if (!WriteRaw(data, length)) m_bFailed = true;
        return !m_bFailed;
    }
    while (length > 0) {
        if (m_nBuffered == kBufferSize && !Flush()) return false;
        const std::size_t n = std::min(length, kBufferSize - m_nBuffered);
        std::memcpy(m_pBuffer.get() + m_nBuffered, data, n);
        m_nBuffered += n;
        data += n;
        length -= n;
    }
    return true;
}

bool CReplacingOutput::Flush() {
    if (m_bFailed) return false;
    const std::size_t n = m_nBuffered;
    m_nBuffered = 0;
    if (n > 0 && !WriteRaw(m_pBuffer.get(), n)) m_bFailed = true;
    return !m_bFailed;
}

#ifdef _WIN32

namespace {

HANDLE AsHandle(std::intptr_t file) { return reinterpret_cast<HANDLE>(file); }

bool WriteSome(std::intptr_t file, const unsigned char* data, std::size_t length, std::size_t& written) {
    DWORD done = 0;
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(length, 1u << 30));
    if (WriteFile(AsHandle(file), data, piece, &done, nullptr) == 0 || done == 0) return false;
    written = done;
    return true;
}
bool SyncFile(std::intptr_t file) { return FlushFileBuffers(AsHandle(file)) != 0; }
bool CloseFileHandle(std::intptr_t file) { return CloseHandle(AsHandle(file)) != 0; }
bool MoveOver(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
void RemoveFile(const std::string& name) { DeleteFileA(name.c_str()); }

}  // namespace

bool CReplacingOutput::Open(const char* name) {
    Abort();
    m_bFailed = false;
    m_nBuffered = 0;
    m_sTarget = name != nullptr ? name : "";

    // What is there now. A handle without access rights opens files that
    // others hold open, and with the backup flag folders too.
    bool exists = false;
    bool regular = false;
    DWORD attributes = 0;
    const HANDLE probe = CreateFileA(m_sTarget.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
        exists = true;
        BY_HANDLE_FILE_INFORMATION info;
        if (GetFileType(probe) == FILE_TYPE_DISK && GetFileInformationByHandle(probe, &info) != 0 &&
            (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            regular = true;
            attributes = info.dwFileAttributes;
        }
        CloseHandle(probe);
    } else {
        const DWORD error = GetLastError();
        exists = error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
    }

    if (exists && !regular) {
        const HANDLE file = CreateFileA(m_sTarget.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        m_hFile = reinterpret_cast<std::intptr_t>(file);
        return true;
    }
    // Writing in place would have failed on it; replacing it must too.
    if (exists && (attributes & FILE_ATTRIBUTE_READONLY) != 0) return false;
    if (!NameCanExist(m_sTarget)) return false;

    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        const std::string temporary = TemporaryNameFor(m_sTarget, GetCurrentProcessId(), Unpredictable(this));
        const HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            m_hFile = reinterpret_cast<std::intptr_t>(file);
            m_sTemporary = temporary;
            // Set now, so that a failure shows before any data is written.
            const DWORD kept = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                             FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
            if (kept != 0) SetFileAttributesA(temporary.c_str(), kept);
            return true;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
}

#else

namespace {

bool WriteSome(std::intptr_t file, const unsigned char* data, std::size_t length, std::size_t& written) {
    ssize_t done;
    do {
        done = write(static_cast<int>(file), data, length);
    } while (done < 0 && errno == EINTR);
    if (done <= 0) return false;
    written = static_cast<std::size_t>(done);
    return true;
}
bool SyncFile(std::intptr_t file) { return fsync(static_cast<int>(file)) == 0; }
bool CloseFileHandle(std::intptr_t file) { return close(static_cast<int>(file)) == 0; }
bool MoveOver(const std::string& from, const std::string& to) { return rename(from.c_str(), to.c_str()) == 0; }
void RemoveFile(const std::string& name) { unlink(name.c_str()); }

}  // namespace

bool CReplacingOutput::Open(const char* name) {
    Abort();
    m_bFailed = false;
    m_nBuffered = 0;
    m_sTarget = name != nullptr ? name : "";

    // A link is followed: the file it leads to is the one replaced, and the
    // link stays a link. One that leads nowhere yet is written through, as
    // before, which creates its target.
    struct stat info;
    bool direct = false;
    if (lstat(m_sTarget.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        if (char* resolved = realpath(m_sTarget.c_str(), nullptr)) {
            m_sTarget = resolved;
            std::free(resolved);
        } else {
            direct = true;
        }
    }
    const bool exists = stat(m_sTarget.c_str(), &info) == 0;
    if (direct || (exists && !S_ISREG(info.st_mode))) {
        const int fd = open(m_sTarget.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) return false;
        m_hFile = fd;
        return true;
    }
    // Writing in place would have failed on it; replacing it must too.
    if (exists && access(m_sTarget.c_str(), W_OK) != 0) return false;
    if (!NameCanExist(m_sTarget)) return false;

    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        const std::string temporary =
            TemporaryNameFor(m_sTarget, static_cast<unsigned long>(getpid()), Unpredictable(this));
        // Owner-only until the existing file's bits are in place.
        const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, exists ? 0600 : 0666);
        if (fd >= 0) {
            m_hFile = fd;
            m_sTemporary = temporary;
            if (exists) {
                // Only root may give a file away; anyone else keeps going as
                // the new file's owner. The mode comes after, as a change of
                // owner clears the set-id bits.
                if (fchown(fd, info.st_uid, info.st_gid) != 0 && fchown(fd, static_cast<uid_t>(-1), info.st_gid) != 0) {
                }
                if (fchmod(fd, info.st_mode & 07777) != 0) {
                    // Some file systems have no modes; the new file then keeps its own.
                }
            }
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

#endif

bool CReplacingOutput::WriteRaw(const unsigned char* data, std::size_t length) {
    bool ok = true;
    const std::int64_t allowance = WriteAllowance().load();
    if (allowance >= 0) {
        const auto allowed =
            static_cast<std::size_t>(std::min<std::int64_t>(allowance, static_cast<std::int64_t>(length)));
        WriteAllowance().store(allowance - static_cast<std::int64_t>(allowed));
        ok = allowed == length;
        length = allowed;
    }
    while (length > 0) {
        std::size_t written = 0;
        if (!WriteSome(m_hFile, data, length, written)) return false;
        data += written;
        length -= written;
    }
    return ok;
}

void CReplacingOutput::CloseFile() {
    if (m_hFile != kNoFile) CloseFileHandle(m_hFile);
    m_hFile = kNoFile;
}

bool CReplacingOutput::Commit() {
    if (m_hFile == kNoFile) return false;
    bool ok = Flush();
    // On the disk before the name points at it: otherwise a power loss just
    // after the move can leave the name on an empty or partial file.
    if (ok && !m_sTemporary.empty()) ok = SyncFile(m_hFile);
    ok = CloseFileHandle(m_hFile) && ok;
    m_hFile = kNoFile;
    if (ok && !m_sTemporary.empty()) ok = MoveOver(m_sTemporary, m_sTarget);
    if (!ok) {
        Abort();
        return false;
    }
    m_sTemporary.clear();
    return true;
}

void CReplacingOutput::Abort() {
    CloseFile();
    if (!m_sTemporary.empty()) RemoveFile(m_sTemporary);
    m_sTemporary.clear();
    m_nBuffered = 0;
}

}  // namespace mg
