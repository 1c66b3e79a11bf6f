// Extraction through the cabinet library and the program's seven functions, beside
// cabextract (and 7-Zip) on the same cabinet. Our peak memory is this process's own
// ru_maxrss after the first timed run.
//   bench_extract each CAB OUTDIR [RUNS]   one FDICopy per entry, in table order
//   bench_extract all  CAB OUTDIR [RUNS]   one FDICopy writing every entry
#include "BenchUtil.h"
#include "extract/Binding.h"
#include "platform/fdi/fdi.h"
#include "platform/files/OpenFlags.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace morbek::fdi;

struct Job {
    std::string outDir;
    const std::string* wanted = nullptr; // null: every entry
    std::vector<std::string>* names = nullptr;
    int written = 0;
};

INT_PTR Notify(FDINOTIFICATIONTYPE type, FDINOTIFICATION* n) {
    auto* job = static_cast<Job*>(n->pv);
    if (type == fdintCOPY_FILE) {
        if (job->names) {
            job->names->emplace_back(n->psz1);
            return 0;
        }
        if (job->wanted && *job->wanted != n->psz1)
            return 0;
        // Flat numbered targets: the benchmark measures the library, not path handling.
        std::string target = job->outDir + "/" + std::to_string(job->written++);
        return morbek::CabOpen(target.data(),
                               morbek::platform::_O_BINARY | morbek::platform::_O_CREAT |
                                   morbek::platform::_O_SEQUENTIAL | morbek::platform::_O_WRONLY,
                               0);
    }
    if (type == fdintCLOSE_FILE_INFO) {
        morbek::CabClose(n->hf);
        return TRUE;
    }
    return 0;
}

bool Copy(const QString& cab, Job& job) {
    const QFileInfo info(cab);
    QByteArray name = QFile::encodeName(info.fileName());
    QByteArray folder = QFile::encodeName(info.absolutePath() + QLatin1Char('/'));
    QByteArray path = QFile::encodeName(info.absoluteFilePath());
    ERF erf{};
    HFDI context = FDICreate(morbek::CabAlloc, morbek::CabFree, morbek::CabOpen, morbek::CabRead,
                             morbek::CabWrite, morbek::CabClose, morbek::CabSeek, cpu80386, &erf);
    if (!context)
        return false;
    // As the extraction driver does: test the cabinet, then copy.
    const int hf =
        morbek::CabOpen(path.data(), morbek::platform::_O_BINARY | morbek::platform::_O_SEQUENTIAL, 0);
    FDICABINETINFO ci{};
    const bool ok = hf >= 0 && FDIIsCabinet(context, hf, &ci) &&
                    FDICopy(context, name.data(), folder.data(), 0, Notify, nullptr, &job);
    if (hf >= 0)
        morbek::CabClose(hf);
    FDIDestroy(context);
    return ok;
}

void Fresh(const QString& dir) {
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_extract each|all CAB OUTDIR [RUNS]\n");
        return 2;
    }
    const std::string mode = argv[1];
    const QString cab = QString::fromLocal8Bit(argv[2]);
    const QString out = QString::fromLocal8Bit(argv[3]);
    const int runs = argc > 4 ? std::max(1, std::atoi(argv[4])) : 5;
    const QString ours = out + QStringLiteral("/ours"), peerDir = out + QStringLiteral("/peer");

    std::vector<std::string> names;
    {
        Job list;
        list.names = &names;
        Copy(cab, list);
    }
    // Both sides write into a folder that keeps the previous run's files, which they
    // replace: the same work for each.
    Fresh(ours);
    Fresh(peerDir);
    bool failed = false;
    morbek::bench::FirstRunPeak peak;
    const double oursSeconds = morbek::bench::TimeMedian(
        runs,
        [&] {
            Job job;
            job.outDir = QFile::encodeName(ours).toStdString();
            if (mode == "each") {
                for (const std::string& n : names) {
                    job.wanted = &n;
                    Copy(cab, job);
                }
            } else {
                Copy(cab, job);
            }
            failed = failed || job.written < static_cast<int>(names.size());
            peak.mark();
        },
        // Each run starts as the program's first: nothing kept from the last one.
        [] { FDIFlushCache(); });
    if (failed)
        std::fprintf(stderr, "bench_extract: not every entry of %s was written\n", argv[2]);

    const QString input = QFileInfo(cab).fileName();
    const QString benchmark = mode == "each" ? QStringLiteral("extract_each") : QStringLiteral("extract_all");
    const long oursMaxRss = peak.kb(benchmark + QLatin1Char(' ') + input);
    const morbek::bench::PeerResult cabextract = morbek::bench::TimePeer(
        runs, QStringLiteral("cabextract"), {QStringLiteral("-q"), QStringLiteral("-d"), peerDir, cab});
    morbek::bench::PrintResult(benchmark, input, oursSeconds, oursMaxRss, QStringLiteral("cabextract -d"),
                               cabextract);
    if (mode == "all") {
        const morbek::bench::PeerResult sevenZip = morbek::bench::TimePeer(
            runs, morbek::bench::SevenZip(),
            {QStringLiteral("x"), QStringLiteral("-y"), QStringLiteral("-o") + peerDir, cab});
        morbek::bench::PrintResult(benchmark, input, oursSeconds, oursMaxRss, QStringLiteral("7z x"),
                                   sevenZip);
    }
    QDir(out).removeRecursively();
    return failed ? 1 : 0;
}
