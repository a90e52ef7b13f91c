#pragma once

#include <QtGlobal>

/// Large buffers: a calendar of 100,000 events is decoded into a text of some 130 MB, and touching
/// fresh memory 4 KB at a time costs more than the work done in it.
namespace Memory
{
/// Asks the system to back the whole 2 MB spans inside @p size bytes at @p data with large pages
/// (Linux; elsewhere, and for buffers under a few megabytes, nothing). Call it before the buffer
/// is first written.
void preferLargePages(void* data, qsizetype size);
/// Gives the whole pages inside @p size bytes at @p data back to the system (Linux; elsewhere
/// nothing): the buffer stays valid, but those bytes then read as zeros. For a buffer its owner
/// will not read there again, such as a file's bytes already parsed.
void releasePages(void* data, qsizetype size);
/// For a process that reads, converts and ends (the command-line tool): large buffers come from
/// the heap and what is freed stays there for the next ones, instead of going back to the system
/// and being faulted in afresh (the file's bytes, freed once decoded, hold the entries; the
/// decoded text, freed once read, holds the output). Call it first thing; not for a long-lived
/// window, whose memory would stay at its highest.
void reuseFreedMemory();
} // namespace Memory
