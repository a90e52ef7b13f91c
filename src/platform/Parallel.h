#pragma once

#include "platform/Memory.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

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

/// Items [first, last) as bytes: a writer from @p makeWriter() calls writer(i, text) for each,
/// appending to one small text, reused, whose bytes go to the part through @p encode(part, text).
/// Fresh memory is dear, and a large output in UTF-16 would take twice the room of its bytes.
template <typename MakeWriter, typename Encode>
QByteArray bytesOfItems(qsizetype first, qsizetype last, MakeWriter& makeWriter, Encode& encode)
{
    constexpr qsizetype kFlushAt = 1 << 19;
    auto writer = makeWriter();
    QByteArray out;
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
    return out;
}

/// Items [0, @p count) as bytes, in pieces made at once (see bytesOfItems()), in item order.
template <typename MakeWriter, typename Encode>
QList<QByteArray> bytesInPieces(qsizetype count, qsizetype perPiece, MakeWriter makeWriter, Encode encode)
{
    const int n = pieces(count, perPiece);
    QList<QByteArray> parts(n);
    QByteArray* bytes = parts.data();
    run(n, [&](int k) { bytes[k] = bytesOfItems(pieceStart(count, k, n), pieceStart(count, k + 1, n), makeWriter, encode); });
    return parts;
}

/// Takes the parts of a text one after another, in order; false to stop (a write failed).
using PartSink = std::function<bool(const QByteArray&)>;

/// The parts @p produce(sink) hands to its sink, kept in order.
template <typename Produce>
QList<QByteArray> collected(Produce produce)
{
    QList<QByteArray> parts;
    produce([&parts](const QByteArray& part) {
        parts.append(part);
        return true;
    });
    return parts;
}

/// bytesInPieces() with each part handed to @p sink, in item order, as soon as it and the parts
/// before it are made: the calling thread writes while the other threads go on making parts.
/// False when the sink stopped.
template <typename MakeWriter, typename Encode>
bool bytesInPiecesTo(qsizetype count, qsizetype perPiece, MakeWriter makeWriter, Encode encode, const PartSink& sink)
{
    // Parts of a few megabytes: the first is soon written, and the last leaves little to wait for.
    const int n = int(std::clamp<qsizetype>(count / std::max<qsizetype>(1, pieceSize(perPiece)), 1, 256));
    const int workers = threadsFor(n);
    if (n == 1 || workers == 1) {
        for (const QByteArray& part : bytesInPieces(count, perPiece, makeWriter, encode)) {
            if (!sink(part))
                return false;
        }
        return true;
    }
    std::vector<QByteArray> parts(static_cast<std::size_t>(n));
    std::vector<char> made(static_cast<std::size_t>(n), 0);
    std::mutex lock;
    std::condition_variable madeOne;
    std::atomic<int> next {0};
    std::atomic<bool> stop {false};
    std::exception_ptr failure;
    auto work = [&] {
        for (int k = next++; k < n && !stop; k = next++) {
            try {
                QByteArray part = bytesOfItems(pieceStart(count, k, n), pieceStart(count, k + 1, n), makeWriter, encode);
                const std::lock_guard<std::mutex> hold(lock);
                parts[std::size_t(k)] = std::move(part);
                made[std::size_t(k)] = 1;
            } catch (...) {
                const std::lock_guard<std::mutex> hold(lock);
                if (!failure)
                    failure = std::current_exception();
                stop = true;
            }
            madeOne.notify_one();
        }
    };
    std::vector<std::thread> threads;
    threads.reserve(std::size_t(workers));
    try {
        for (int w = 0; w < workers; ++w)
            threads.emplace_back(work);
    } catch (...) {
        if (threads.empty())
            work(); // no thread to be had: all parts made here, then written
    }
    bool written = true;
    for (int k = 0; k < n && written; ++k) {
        QByteArray part;
        {
            std::unique_lock<std::mutex> hold(lock);
            madeOne.wait(hold, [&] { return made[std::size_t(k)] || failure; });
            if (!made[std::size_t(k)])
                break;
            part = std::move(parts[std::size_t(k)]);
        }
        written = sink(part);
    }
    stop = true;
    for (std::thread& t : threads)
        t.join();
    if (failure)
        std::rethrow_exception(failure);
    return written;
}
} // namespace Parallel
