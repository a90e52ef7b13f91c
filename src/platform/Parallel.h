#pragma once

#include "platform/Memory.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <algorithm>
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
/// Runs @p work(job, worker) for jobs 0 … @p jobs - 1 on as many threads as there are cores (at
/// most one per job; worker 0 … threads - 1 tells them apart), each thread taking the next job not
/// yet taken, and returns when all have ended. Returns the number of threads.
int runJobs(int jobs, const std::function<void(int, int)>& work);
/// The number of threads runJobs() uses for @p jobs.
int threadsFor(int jobs);
/// The size of one piece: @p perPiece, unless a test set its own.
qsizetype pieceSize(qsizetype perPiece);
/// Tests: at most @p n pieces (0: as many as the machine has cores), and a smallest piece of
/// @p perPiece items when above 0 (it overrides the callers' own).
void setLimits(int n, qsizetype perPiece = 0);

/// The parts as one buffer (where the output cannot be written part by part).
inline QByteArray joined(const QList<QByteArray>& parts)
{
    if (parts.size() == 1)
        return parts.first();
    qsizetype size = 0;
    for (const QByteArray& part : parts)
        size += part.size();
    QByteArray out;
    out.reserve(size);
    Memory::preferLargePages(out.data(), out.capacity());
    for (const QByteArray& part : parts)
        out += part;
    return out;
}

/// Where piece @p k of @p n of a list of @p size items begins (piece n: the end).
inline qsizetype pieceStart(qsizetype size, int k, int n)
{
    return size * k / n;
}

/// Items [0, @p count) as bytes, in pieces: each piece gets its own writer from @p makeWriter()
/// and calls writer(i, text) for its items, appending to one small text, reused, whose bytes go
/// to the piece's part through @p encode(part, text). Fresh memory is dear, and a large output in
/// UTF-16 would take twice the room of its bytes. The parts are in item order.
template <typename MakeWriter, typename Encode>
QList<QByteArray> bytesInPieces(qsizetype count, qsizetype perPiece, MakeWriter makeWriter, Encode encode)
{
    constexpr qsizetype kFlushAt = 1 << 19;
    const int n = pieces(count, perPiece);
    QList<QByteArray> parts(n);
    QByteArray* bytes = parts.data();
    run(n, [&](int k) {
        auto writer = makeWriter();
        const qsizetype first = pieceStart(count, k, n);
        const qsizetype last = pieceStart(count, k + 1, n);
        QByteArray& out = bytes[k];
        QString text;
        text.reserve(kFlushAt + (kFlushAt >> 2));
        auto flush = [&](qsizetype done) {
            // After the first flush the part's size is foreseen from what it took so far.
            if (out.isEmpty() && done < last) {
                const double share = double(last - first) / double(std::max<qsizetype>(1, done - first));
                out.reserve(qsizetype(double(text.size()) * share * 1.1) + 64);
                Memory::preferLargePages(out.data(), out.capacity());
            }
            encode(out, text);
            text.resize(0);
        };
        for (qsizetype i = first; i < last; ++i) {
            writer(i, text);
            if (text.size() >= kFlushAt)
                flush(i + 1);
        }
        flush(last);
        out.squeeze();
    });
    return parts;
}
} // namespace Parallel
