// Whether two file names lead to one file. Comparing the names alone misses
// another spelling, a relative path or a link, and writing a file onto itself
// truncates it before it has been read.
#ifndef MG_CIPHER_FILE_IDENTITY_H
#define MG_CIPHER_FILE_IDENTITY_H

namespace mg {

// True when both names lead to one existing file (same device and inode, or
// on Windows the same volume serial number and file index). A name that leads
// to no file matches nothing: an output that does not exist yet cannot be the
// input.
bool SameExistingFile(const char* first, const char* second);

}  // namespace mg

#endif
