// The one file-system magic number the library asks statfs about; WebAssembly's C library
// has no <linux/magic.h>, and its in-memory file system is never /proc.
#pragma once
#define PROC_SUPER_MAGIC 0x9fa0
