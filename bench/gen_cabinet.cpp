// Generates benchmark cabinets with the test-only cabinet writer.
//   gen_cabinet OUT.cab --entries N [--method mszip|stored] [--size-per-entry BYTES]
//                       [--embed-in-exe PREFIXBYTES] [--folder-per-entry]
// Entries are spread over folders of 256 ("dir000\file00000.txt" ...) with a few
// extensions, dated through 1998, and hold text that compresses like real files.
#include "tests/support/CabWriter.h"

#include <QFile>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using morbek::test::CabFileSpec;
using morbek::test::CabMethod;
using morbek::test::CabWriter;
using morbek::test::DosDate;
using morbek::test::DosTime;

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: gen_cabinet OUT.cab --entries N [--method mszip|stored] [--size-per-entry BYTES]\n"
                 "                   [--embed-in-exe PREFIXBYTES] [--folder-per-entry]\n");
    return 2;
}

bool ParseCount(const char* text, long long min, long long max, long long* value) {
    char* end = nullptr;
    const long long v = std::strtoll(text, &end, 10);
    if (end == text || *end != '\0' || v < min || v > max)
        return false;
    *value = v;
    return true;
}

// Entry i's contents: a line of words, repeated to the size.
QByteArray Contents(long long i, long long size) {
    static const char* const kWords[] = {"cabinet ", "folder ", "entry ", "block ",
                                         "data ",    "file ",   "list ",  "\r\n"};
    QByteArray out;
    out.reserve(static_cast<qsizetype>(size));
    unsigned state = static_cast<unsigned>(i) * 2654435761u + 1;
    while (out.size() < size) {
        state = state * 1103515245u + 12345u;
        out += kWords[(state >> 16) & 7];
    }
    out.truncate(static_cast<qsizetype>(size));
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argv[1][0] == '-')
        return Usage();
    const char* outPath = argv[1];
    long long entries = -1, size = 64, prefix = -1;
    CabMethod method = CabMethod::MsZip;
    bool folderPerEntry = false;
    for (int i = 2; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--entries") == 0 && hasValue) {
            if (!ParseCount(argv[++i], 0, 65535, &entries))
                return Usage();
        } else if (std::strcmp(argv[i], "--size-per-entry") == 0 && hasValue) {
            if (!ParseCount(argv[++i], 0, 1LL << 30, &size))
                return Usage();
        } else if (std::strcmp(argv[i], "--method") == 0 && hasValue) {
            const std::string m = argv[++i];
            if (m == "mszip")
                method = CabMethod::MsZip;
            else if (m == "stored")
                method = CabMethod::Stored;
            else
                return Usage();
        } else if (std::strcmp(argv[i], "--folder-per-entry") == 0) {
            folderPerEntry = true;
        } else if (std::strcmp(argv[i], "--embed-in-exe") == 0 && hasValue) {
            if (!ParseCount(argv[++i], 2, 1LL << 30, &prefix))
                return Usage();
        } else {
            return Usage();
        }
    }
    if (entries < 0)
        return Usage();

    static const char* const kExtensions[] = {"txt", "dat", "ini", "c", "h", "bmp", "dll", "hlp"};
    CabWriter w;
    if (!folderPerEntry)
        w.addFolder(method);
    for (long long i = 0; i < entries; ++i) {
        CabFileSpec spec;
        // Folder indexes from 0xFFFD on mean "continued": the last entries share the last folder.
        spec.folder = folderPerEntry ? (i < 0xFFFD ? w.addFolder(method) : 0xFFFC) : 0;
        spec.name = QByteArray("dir") + QByteArray::number(i / 256).rightJustified(3, '0') + "\\file" +
                    QByteArray::number(i).rightJustified(5, '0') + '.' + kExtensions[i % 8];
        spec.data = Contents(i, size);
        spec.date = DosDate(1998, 1 + static_cast<int>(i % 12), 1 + static_cast<int>(i % 28));
        spec.time = DosTime(static_cast<int>(i % 24), static_cast<int>(i % 60), static_cast<int>(i % 30) * 2);
        w.addFile(spec);
    }
    QByteArray bytes = w.build();
    if (bytes.size() > 0x7FFFFFFF) {
        std::fprintf(stderr, "gen_cabinet: cabinet would exceed 2 GiB\n");
        return 1;
    }
    if (prefix >= 0)
        bytes = CabWriter::embedInExecutable(bytes, static_cast<int>(prefix), QByteArray(512, '\0'));

    QFile out(QString::fromLocal8Bit(outPath));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "gen_cabinet: cannot write %s\n", outPath);
        return 1;
    }
    std::printf("%s: %lld entries, %lld bytes\n", outPath, entries, static_cast<long long>(bytes.size()));
    return 0;
}
