#include "Parallel.h"

#include <QThread>

#include <atomic>
#include <exception>
#include <thread>
#include <vector>

namespace
{
std::atomic<int> g_maxPieces {0};
std::atomic<qsizetype> g_perPiece {0};
} // namespace

int Parallel::pieces(qsizetype items, qsizetype perPiece)
{
    const qsizetype forced = g_perPiece.load();
    if (forced > 0)
        perPiece = forced;
    int cores = g_maxPieces.load();
    if (cores <= 0)
        cores = std::max(1, QThread::idealThreadCount());
    if (perPiece < 1)
        perPiece = 1;
    return int(std::clamp<qsizetype>(items / perPiece, 1, cores));
}

void Parallel::run(int n, const std::function<void(int)>& work)
{
    if (n <= 1) {
        if (n == 1)
            work(0);
        return;
    }
    std::vector<std::exception_ptr> errors(static_cast<size_t>(n));
    std::vector<std::thread> threads;
    threads.reserve(size_t(n - 1));
    auto guarded = [&](int piece) {
        try {
            work(piece);
        } catch (...) {
            errors[size_t(piece)] = std::current_exception();
        }
    };
    try {
        for (int piece = 1; piece < n; ++piece)
            threads.emplace_back(guarded, piece);
    } catch (...) {
        // No thread to be had: the pieces not started run here.
        for (int piece = int(threads.size()) + 1; piece < n; ++piece)
            guarded(piece);
    }
    guarded(0);
    for (std::thread& t : threads)
        t.join();
    for (const std::exception_ptr& e : errors) {
        if (e)
            std::rethrow_exception(e);
    }
}

int Parallel::threadsFor(int jobs)
{
    int cores = g_maxPieces.load();
    if (cores <= 0)
        cores = std::max(1, QThread::idealThreadCount());
    return std::clamp(jobs, 1, cores);
}

int Parallel::runJobs(int jobs, const std::function<void(int, int)>& work)
{
    std::atomic<int> next {0};
    const int threads = threadsFor(jobs);
    run(threads, [&](int worker) {
        for (int job = next++; job < jobs; job = next++)
            work(job, worker);
    });
    return threads;
}

qsizetype Parallel::pieceSize(qsizetype perPiece)
{
    const qsizetype forced = g_perPiece.load();
    return forced > 0 ? forced : perPiece;
}

void Parallel::setLimits(int n, qsizetype perPiece)
{
    g_maxPieces = n;
    g_perPiece = perPiece;
}
