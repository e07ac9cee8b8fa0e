// One fuzz input written once as a bundle and once as a directory tree, both
// analysed alike: the JSON reports must be equal apart from the "source"
// member, which names where each came from.
#pragma once

#include <cstddef>
#include <cstdint>

// Lays the input out under dir (an existing, empty directory, emptied again
// afterwards), analyses tree and bundle and compares. Null when they agree
// or when the input's names cannot be laid out on disk; else a description
// of the first difference.
const char* tree_vs_bundle_check_input(const uint8_t* data, size_t size, const char* dir);
