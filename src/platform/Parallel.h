#pragma once

#include <QtGlobal>

#include <functional>

/// Work split over the processor's cores for the large calendars: a file of 100,000 events is
/// read and written in pieces at once. Each piece runs to the end; results are joined by the
/// caller in piece order, so the output never depends on how many pieces there were.
namespace Parallel
{
/// How many pieces @p items should be cut into: one per core, each of at least @p perPiece items
/// (small jobs stay on the calling thread, where a thread would cost more than it saves).
int pieces(qsizetype items, qsizetype perPiece);
/// Runs @p work(0) … @p work(n - 1), piece 0 on the calling thread and the others on threads of
/// their own, and returns when all have ended. An exception in a piece is rethrown here.
void run(int n, const std::function<void(int)>& work);
/// Tests: at most @p n pieces (0: as many as the machine has cores), and a smallest piece of
/// @p perPiece items when above 0 (it overrides the callers' own).
void setLimits(int n, qsizetype perPiece = 0);
} // namespace Parallel
