#pragma once
// Generic in-place heap sort over an array of fixed-size elements.

#include <cstddef>

// <0, 0 or >0, like memcmp.
using HeapSortCompare = int (*)(const void* a, const void* b);

// Sorts count elements of elementSize bytes in ascending order of compare. Arrays of fewer
// than 2 elements are left alone. Takes one element of scratch space from the heap; when that
// fails the error handler's out-of-memory path ends the operation (VLX_EXIT 8). Not stable.
void HeapSortArray(void* array, size_t count, size_t elementSize, HeapSortCompare compare);
