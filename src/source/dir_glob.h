// Expanding a path pattern over a directory tree one component at a time, as
// a bundle expands it over its members: "*", "?" and "[...]" match within a
// name (its leading "." only when asked), and the root is taken literally.
#pragma once

#include "base/arena.h"
#include "base/list.h"
#include "base/str.h"
#include "source/root_open.h"

// Adds to out (unsorted) the path, as the analysed machine names it, of every
// entry under root that matches pattern, a normalised absolute path; every
// directory is looked up as root resolves it (inside a tree). A last
// component without wildcards matches an entry that exists, a dangling link
// included. When regular is given, the matches the walk saw to be regular
// files themselves (not links) go into it too.
// fnm_flags are fnmatch's for each name (FNM_PERIOD: a wildcard never
// matches a leading ".").
void dir_glob_expand(Arena* a, RootDir* root, StrView pattern, int fnm_flags, StrList* out,
                     StrList* regular);
