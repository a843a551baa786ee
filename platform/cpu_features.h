// Which vector instructions this processor offers the kernels (the grid's
// and the grain voices'), asked once.
#pragma once

// The instruction set the kernels run on.
enum class kernel_set { avx2, portable };

// AVX2 when the processor has it, unless the environment variable
// ZELMORA_PORTABLE is set (non-empty) or force_portable_kernels(true) was
// called.
kernel_set active_kernel_set();
void force_portable_kernels(bool portable);
