#pragma once
// In the settings test program, and only there, the linker routes malloc through a wrapper
// (--wrap=malloc; MinGW builds only): a test makes one allocation fail, as a request the
// address space cannot serve would, with no hook in the product's code. operator new
// allocates through malloc too, so it throws std::bad_alloc at that point.

// The count-th call of malloc from now returns null; 0 lets every allocation succeed.
void FailAllocationAt(unsigned count);
