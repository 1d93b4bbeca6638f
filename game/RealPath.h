#pragma once
// Where an entry of a folder really lies.
//
// A junction or symbolic link inside a folder looks like an ordinary entry of
// it, but whatever is done to it through its path may reach the place it
// points to. Under Wine a Linux symbolic link is reported as a plain entry
// (a link to a folder carries FILE_ATTRIBUTE_REPARSE_POINT, a link to a file
// nothing at all), and deleting, renaming or changing the attributes of it by
// path acts on its target. So an entry is taken for what it seems only when
// the object its path leads to (links followed) lies exactly at the entry's
// own place, under the real location of its folder.
#include <windows.h>
#include <string>

namespace real_path {

// The final path ("\\?\C:\...") of what `path` leads to, every link and
// junction on the way followed; empty if it cannot be opened.
std::wstring Resolve(const std::wstring& path);

// The place an entry named `name` has inside the folder whose final path is `realFolder`.
std::wstring Child(const std::wstring& realFolder, const wchar_t* name);

// Whether two final paths name the same place (ordinal, letter case ignored,
// as the file system compares names).
bool Same(const std::wstring& a, const std::wstring& b);

// Removes the link at `path` itself, never what it points to: the entry is
// opened without following it, and deleted through that handle only if the
// handle is a reparse point lying at `expectedRealPath` (the link's own
// place). Returns false, touching nothing, when that cannot be made sure of;
// this is always the case under Wine, which opens the target even when told
// not to follow, so a link stays where it is there.
bool RemoveLinkItself(const std::wstring& path, const std::wstring& expectedRealPath);

}  // namespace real_path
