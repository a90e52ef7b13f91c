#pragma once

// Benchmark registry: each bench_*.cpp registers its cases with BENCH_CASE. The program runs every
// case (or the ones named on the command line), each in a child process of its own so that the
// peak memory it prints belongs to that case alone.

#include "calendar/dataEntry.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <functional>

namespace bench
{
using CaseFn = std::function<int(const QStringList& args)>;

struct Registrar
{
    Registrar(const char* name, CaseFn fn);
};

/// Peak resident memory of this process so far, in MiB (VmHWM).
double peakRssMiB();
/// Current resident memory, in MiB (VmRSS).
double rssMiB();
/// Seconds elapsed on @p timer, as a double.
inline double seconds(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e9;
}
/// Prints one result line: "case  label  value unit".
void report(const QString& caseName, const QString& label, double value, const char* unit);
/// Runs case @p name with @p args in a child process (its output goes to ours); returns its exit code.
int runChild(const QString& name, const QStringList& args);
/// The 10,000 entries of the expand case: mixed repeat rules, the last one fixing the horizon.
EntryList expansionEntries();
/// A scratch directory for generated files (kept between runs; regenerated when missing).
QString scratchDir();
} // namespace bench

#define BENCH_CONCAT2(a, b) a##b
#define BENCH_CONCAT(a, b) BENCH_CONCAT2(a, b)
#define BENCH_CASE(name, fn) static bench::Registrar BENCH_CONCAT(benchRegistrar_, __LINE__)(name, fn)
