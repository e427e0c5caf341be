// The module's one way to take and give back heap memory. Every allocation of the module goes
// through ModuleAlloc, so a failure is a null return the caller handles, never an exception, and
// tests can make the n-th allocation fail through the seam below. Also the module's file close,
// which tests can watch through a seam of its own.
#pragma once

#include <stddef.h>
#include <stdio.h>

void* ModuleAlloc(size_t size);          // null when the heap is exhausted (or the seam says so)
void* ModuleAllocZeroed(size_t count, size_t size);
void ModuleFree(void* block);            // accepts null
char* ModuleCopyText(const char* text);  // a private copy of a null-terminated text, or null

// Test seam: the allocation with number `n` (counted from 1 after the call) and every later one
// fail while `failFrom` is set; 0 turns failures off. ModuleAllocCount() counts allocations made.
void ModuleAllocFailFrom(long n);
void ModuleAllocFailOnly(long n);
long ModuleAllocCount(void);
long ModuleAllocLive(void);  // allocations not yet freed

// The module's close of a file it opened: fclose, accepting null. Test seam: after each close,
// `closed(context)` is called; null turns it off. (Here rather than in a file of its own: a
// seventh source in the module makes the sanitizer build's module export the linker's
// __start_/__stop_ symbols of its coverage sections, which the export test refuses.)
void ModuleCloseFile(FILE* file);
void ModuleOnFileClosed(void (*closed)(void* context), void* context);
