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
} // namespace Memory
