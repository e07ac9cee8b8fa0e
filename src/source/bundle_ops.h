// The four Source operations of a loaded bundle: they serve the members the
// way the directory kind serves files of an unpacked tree.
#pragma once

#include "source/source.h"

SourceOps bundle_source_ops();
