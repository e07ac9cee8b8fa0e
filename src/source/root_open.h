// Opening files of a directory tree that stands for another machine's "/":
// every name, link and ".." is resolved as if the tree were the root, so
// nothing the tree holds leads to a file outside it.
#pragma once

// The tree's root, held open for the run. Names given to the functions below
// are relative (no leading "/"); "." is the root itself. For the live system
// (confined false) names resolve as the system resolves them.
struct RootDir {
  int fd;
  bool confined;
  bool no_openat2;  // the kernel answered ENOSYS: the walk below serves instead
};

// How far a resolution may go.
enum class RootWalk {
  in_root,   // absolute links start again at the root; ".." at the root stays there
  beneath,   // never above the starting directory nor through an absolute link (EXDEV)
  no_links,  // beneath, and no symbolic link at all (ELOOP)
};

// Opens root->fd as dir (O_PATH, O_DIRECTORY); fd -1 with errno when it
// cannot be opened.
RootDir root_dir_open(const char* dir, bool confined);

// Opens name relative to the directory at (root->fd or a directory found
// inside the root) with flags, resolved as mode says; -1 with errno set.
// openat2(2) resolves where the kernel has it, else a walk one name at a time.
int root_openat(RootDir* root, int at, const char* name, int flags, RootWalk mode);

// The walk one name at a time that stands in for openat2: each name is opened
// without following a link, and a link's text is resolved in its place.
int root_walk_open(int at, const char* name, int flags, RootWalk mode);
